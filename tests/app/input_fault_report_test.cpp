// The input is mapped, not copied: an input that shrinks under the run must end it with the ordinary
// error report and the EAC clean-up, never with a crash.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/input_fault_report.hpp"
#include "input/input_analysis.hpp"
#include "support/temp_dir.hpp"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

// A raw stream of 1 MiB starting with a sync word; `cleanup` is what the report may remove.
void touch_the_lost_end_of_a_truncated_input(const fs::path& input, const fs::path& cleanup) {
    install_input_fault_report();
    set_input_fault_cleanup(cleanup, input);
    const InputAnalysis analysis = analyse_input(input);
    fs::resize_file(input, 0);
    const volatile std::uint8_t* bytes = analysis.payload.data();
    [[maybe_unused]] const std::uint8_t last = bytes[analysis.payload.size() - 1];
    std::_Exit(0);
}

struct InputFaultReport : ::testing::Test {
    test::TempDir dir;
    fs::path input = dir.file("in.dts");

    void SetUp() override {
        Bytes stream(1 << 20, 0x00);
        const Bytes sync = {0x7F, 0xFE, 0x80, 0x01, 0xFC, 0x3C};
        std::copy(sync.begin(), sync.end(), stream.begin());
        test::write_file(input, stream);
    }
};

TEST_F(InputFaultReport, ATruncatedInputEndsTheRunWithTheErrorReportAndTheCleanUp) {
    const fs::path output = dir.file("out.wav");
    test::write_file(output, Bytes{1, 2, 3});
    EXPECT_EXIT(touch_the_lost_end_of_a_truncated_input(input, output), ::testing::ExitedWithCode(2),
                "^Error: unable to read input file\nNo output file should be trusted if conversion was interrupted.\n$");
    EXPECT_FALSE(fs::exists(output));
    EXPECT_TRUE(fs::exists(input));
}

TEST_F(InputFaultReport, TheCleanUpNeverRemovesTheInputNorADirectory) {
    const fs::path link = dir.file("link.dts");
    fs::create_hard_link(input, link);
    EXPECT_EXIT(touch_the_lost_end_of_a_truncated_input(input, link), ::testing::ExitedWithCode(2),
                "unable to read input file");
    EXPECT_TRUE(fs::exists(link));

    const fs::path directory = dir.file("out.wav");
    fs::create_directory(directory);
    SetUp();  // the input again, whole
    EXPECT_EXIT(touch_the_lost_end_of_a_truncated_input(input, directory), ::testing::ExitedWithCode(2),
                "unable to read input file");
    EXPECT_TRUE(fs::is_directory(directory));
}

}  // namespace
}  // namespace orvane
