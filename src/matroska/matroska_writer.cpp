#include "matroska/matroska_writer.hpp"

#include <iostream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "ffmpeg/ffmpeg_error.hpp"
#include "ffmpeg/ffmpeg_handles.hpp"
#include "output/output_policy.hpp"
#include "output/program_info.hpp"
#include "matroska/dts_packetiser.hpp"
#include "matroska/dts_stream_probe.hpp"
#include "platform/interruption.hpp"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/buffer.h>
}

namespace orvane {
namespace {

[[noreturn]] void fail_with_code(const char* context, int code) {
    throw std::runtime_error(std::string(context) + ffmpeg_error_text(code));
}

// The output context and the file it writes. Unless committed, leaving the scope closes the file,
// frees the context and removes the output path, so a failed run leaves no Matroska file behind.
struct MatroskaOutput {
    std::filesystem::path path;
    FormatContextHandle context;
    bool opened_file = false;
    bool committed = false;

    explicit MatroskaOutput(std::filesystem::path output_path) : path(std::move(output_path)) {}
    MatroskaOutput(const MatroskaOutput&) = delete;
    MatroskaOutput& operator=(const MatroskaOutput&) = delete;

    // Closes the file; returns avio_closep's result (0 when this run did not open it).
    int close_file() {
        if (!opened_file || !context || context->pb == nullptr) return 0;
        opened_file = false;
        return avio_closep(&context->pb);
    }

    ~MatroskaOutput() {
        close_file();
        context.reset();
        // A directory named as output (allowed through by --overwrite) was never ours to remove.
        std::error_code ignored;
        if (!committed && !std::filesystem::is_directory(std::filesystem::symlink_status(path, ignored))) {
            remove_path_quietly(path);
        }
    }
};

void no_release(void*, std::uint8_t*) {}

}  // namespace

void set_matroska_tags(AVDictionary** metadata, const TagSet& tags) {
    const std::pair<const char*, const std::string*> entries[] = {
        {"title", &tags.title},         {"artist", &tags.artist},           {"album", &tags.album},
        {"album_artist", &tags.album_artist}, {"genre", &tags.genre},       {"date", &tags.date},
        {"track", &tags.track},         {"TRACKTOTAL", &tags.track_total},  {"disc", &tags.disc},
        {"DISCTOTAL", &tags.disc_total}, {"comment", &tags.comment},        {"composer", &tags.composer},
        {"copyright", &tags.copyright},
    };
    for (const auto& [key, value] : entries) {
        if (!value->empty()) av_dict_set(metadata, key, value->c_str(), 0);
    }
    for (const auto& [key, value] : tags.extra) {
        if (!value.empty()) av_dict_set(metadata, key.c_str(), value.c_str(), 0);
    }
}

void mux_matroska(const std::filesystem::path& output_path, const InputAnalysis& analysis, bool overwrite, bool quiet,
                  const TagSet& tags) {
    apply_overwrite_rule(output_path, overwrite);

    // The packets view the payload wherever the parser left the frames in place.
    std::vector<DtsPacket> packets = packetise_dts(analysis);
    DtsStreamParams params;
    probe_dts_stream(packets.front(), params);
    for (DtsPacket& packet : packets) {
        if (packet.duration < 1) packet.duration = params.samples_per_frame;
    }

    const std::u8string utf8_path_bytes = output_path.u8string();
    const std::string utf8_path(utf8_path_bytes.begin(), utf8_path_bytes.end());

    MatroskaOutput output(output_path);
    AVFormatContext* raw_context = nullptr;
    const int alloc_result = avformat_alloc_output_context2(&raw_context, nullptr, "matroska", utf8_path.c_str());
    output.context.reset(raw_context);
    if (alloc_result < 0 || raw_context == nullptr) {
        throw std::runtime_error("unable to create Matroska output context");
    }
    AVFormatContext* const context = raw_context;

    AVStream* const stream = avformat_new_stream(context, nullptr);
    if (stream == nullptr) throw std::runtime_error("unable to create Matroska DTS stream");
    const AVRational sample_clock{1, params.sample_rate};
    stream->time_base = sample_clock;
    stream->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    stream->codecpar->codec_id = AV_CODEC_ID_DTS;
    stream->codecpar->sample_rate = params.sample_rate;
    if (av_channel_layout_copy(&stream->codecpar->ch_layout, &params.channel_layout) < 0) {
        throw std::runtime_error("unable to set Matroska DTS channel layout");
    }

    set_matroska_tags(&stream->metadata, tags);
    set_matroska_tags(&context->metadata, tags);

    if ((context->oformat->flags & AVFMT_NOFILE) == 0) {
        const int result = avio_open(&context->pb, utf8_path.c_str(), AVIO_FLAG_WRITE);
        if (result < 0) fail_with_code("unable to create Matroska output: ", result);
        output.opened_file = true;
    }

    // Initialising the muxer puts libavformat's own name into the file-level "encoder" entry; setting
    // ours between initialisation and header writing is what makes the file name this program.
    int result = avformat_init_output(context, nullptr);
    if (result < 0) fail_with_code("unable to write Matroska header: ", result);
    av_dict_set(&context->metadata, "encoder", kProgramId, 0);
    result = avformat_write_header(context, nullptr);
    if (result < 0) fail_with_code("unable to write Matroska header: ", result);

    PacketHandle packet(av_packet_alloc());
    if (!packet) throw std::runtime_error("unable to allocate Matroska packet");

    // Frames lying in the payload are handed to the muxer by reference to it: the payload outlives the
    // output context, and the read-only flag makes FFmpeg copy rather than write into it.
    const std::span<const std::uint8_t> stream_bytes = dts_stream(analysis);
    AVBufferRef* payload_ref = av_buffer_create(const_cast<std::uint8_t*>(stream_bytes.data()), stream_bytes.size(),
                                                no_release, nullptr, AV_BUFFER_FLAG_READONLY);
    if (payload_ref == nullptr) fail_with_code("unable to allocate DTS mux packet: ", AVERROR(ENOMEM));
    struct BufferUnref {
        AVBufferRef* ref;
        ~BufferUnref() { av_buffer_unref(&ref); }
    } payload_holder{payload_ref};

    std::int64_t running = 0;
    for (const DtsPacket& frame : packets) {
        check_interruption();
        av_packet_unref(packet.get());
        if (frame.is_view()) {
            packet->buf = av_buffer_ref(payload_ref);
            if (packet->buf == nullptr) fail_with_code("unable to allocate DTS mux packet: ", AVERROR(ENOMEM));
            packet->data = const_cast<std::uint8_t*>(frame.data.data());
            packet->size = static_cast<int>(frame.data.size());
        } else {
            result = av_new_packet(packet.get(), static_cast<int>(frame.data.size()));
            if (result < 0) fail_with_code("unable to allocate DTS mux packet: ", result);
            std::copy(frame.data.begin(), frame.data.end(), packet->data);
        }
        packet->stream_index = stream->index;
        packet->pts = running;
        packet->dts = running;
        packet->duration = frame.duration;
        packet->pos = -1;
        av_packet_rescale_ts(packet.get(), sample_clock, stream->time_base);
        result = av_interleaved_write_frame(context, packet.get());
        if (result < 0) fail_with_code("error writing DTS packet to Matroska: ", result);
        running += frame.duration;
    }

    result = av_write_trailer(context);
    if (result < 0) fail_with_code("unable to finalise Matroska output: ", result);
    // A write that only fails when the file is closed must not pass for success.
    result = output.close_file();
    if (result < 0) fail_with_code("unable to finalise Matroska output: ", result);

    if (!quiet) {
        std::cout << "DTS frames: " << packets.size() << '\n'
                  << "Matroska timestamps: " << params.sample_rate << " Hz sample clock -> muxer time base "
                  << stream->time_base.num << '/' << stream->time_base.den << ", " << params.samples_per_frame
                  << " samples/frame\n"
                  << "Duration: " << static_cast<double>(running) / params.sample_rate << " seconds\n"
                  << "DTS bitstream copied without audio re-encoding\n";
    }
    output.committed = true;
}

}  // namespace orvane
