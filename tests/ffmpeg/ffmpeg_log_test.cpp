#include <gtest/gtest.h>

#include <thread>

#include "ffmpeg/ffmpeg_log.hpp"

extern "C" {
#include <libavutil/log.h>
}

namespace orvane {
namespace {

// Error lines, joined from the pieces FFmpeg writes them in, named by the input of the moment; the
// rest dropped, and a long run of errors cut to its first lines.
TEST(FfmpegLog, ErrorLinesAreCollectedNamedAndBounded) {
    capture_ffmpeg_log(FfmpegLogCapture{.keep_errors = true});
    set_ffmpeg_log_source("a.wav");
    av_log(nullptr, AV_LOG_WARNING, "dropped\n");
    av_log(nullptr, AV_LOG_ERROR, "first ");
    av_log(nullptr, AV_LOG_ERROR, "half\nsecond\n");
    // Another thread's conversion keeps its own lines under its own input's name.
    std::thread([] {
        set_ffmpeg_log_source("c.wav");
        av_log(nullptr, AV_LOG_ERROR, "other\n");
        EXPECT_EQ(take_ffmpeg_log(), std::vector<std::string>{"c.wav: other\n"});
    }).join();
    // A helper thread's lines, logged under the name it was given, join this thread's behind its own.
    FfmpegLogLines helped;
    std::thread([&helped, source = ffmpeg_log_source()] {
        set_ffmpeg_log_source(source);
        av_log(nullptr, AV_LOG_ERROR, "encoder\n");
        helped = take_ffmpeg_log_lines();
    }).join();
    add_ffmpeg_log_lines(std::move(helped));
    set_ffmpeg_log_source("b.wav");
    for (int i = 0; i < 60; ++i) av_log(nullptr, AV_LOG_FATAL, "line %d\n", i);
    const std::vector<std::string> lines = take_ffmpeg_log();
    ASSERT_EQ(lines.size(), 51u);
    EXPECT_EQ(lines[0], "a.wav: first half\n");
    EXPECT_EQ(lines[1], "a.wav: second\n");
    EXPECT_EQ(lines[2], "a.wav: encoder\n");
    EXPECT_EQ(lines[49], "b.wav: line 46\n");
    EXPECT_EQ(lines[50], "(FFmpeg logged 13 more errors)\n");
    EXPECT_TRUE(take_ffmpeg_log().empty());

    capture_ffmpeg_log(FfmpegLogCapture{});
    av_log(nullptr, AV_LOG_PANIC, "kept nowhere\n");
    EXPECT_TRUE(take_ffmpeg_log().empty());
    av_log_set_callback(av_log_default_callback);
}

}  // namespace
}  // namespace orvane
