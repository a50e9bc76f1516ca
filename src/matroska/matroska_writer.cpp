#include "matroska/matroska_writer.hpp"

#include <algorithm>
#include <functional>
#include <ostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "dts/packing_conversion.hpp"
#include "ffmpeg/ffmpeg_error.hpp"
#include "ffmpeg/ffmpeg_handles.hpp"
#include "output/track_output_failure.hpp"
#include "output/output_policy.hpp"
#include "output/staged_output.hpp"
#include "common/program_info.hpp"
#include "dts/dts_packetiser.hpp"
#include "dts/dts_stream_probe.hpp"
#include "platform/interruption.hpp"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/buffer.h>
#include <libavutil/mem.h>
}

namespace orvane {
namespace {

constexpr DtsParserWording kWording{"unable to initialise DTS parser for Matroska muxing",
                                    "DTS parser error during Matroska muxing",
                                    "DTS parser flush error during Matroska muxing"};

// The output context and the file it writes. Unless committed, leaving the scope closes the file,
// frees the context and then removes the staged file, so a failed run leaves no Matroska file behind.
struct MatroskaOutput {
    StagedOutput staged;
    FormatContextHandle context;
    IoFileHandle file;  // the context's pb, when this run opened it

    explicit MatroskaOutput(StagedOutput output) : staged(std::move(output)) {}
    MatroskaOutput(const MatroskaOutput&) = delete;
    MatroskaOutput& operator=(const MatroskaOutput&) = delete;

    // Closes the file; returns avio_closep's result (0 when this run did not open it).
    int close_file() {
        if (!file) return 0;
        context->pb = nullptr;
        return close_io_file(file);
    }

    ~MatroskaOutput() {
        close_file();
        context.reset();
    }
};

// The cover as an attachment: a stream without packets whose extradata is the file.
void add_cover_attachment(AVFormatContext* context, const CoverPicture& picture) {
    AVStream* const stream = avformat_new_stream(context, nullptr);
    if (stream == nullptr) throw std::runtime_error("unable to create Matroska cover attachment");
    stream->codecpar->codec_type = AVMEDIA_TYPE_ATTACHMENT;
    stream->codecpar->codec_id = picture.mime_type == "image/png" ? AV_CODEC_ID_PNG : AV_CODEC_ID_MJPEG;
    // Owned by the stream's parameters from here, freed with the context.
    auto* const data = static_cast<std::uint8_t*>(av_mallocz(picture.bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (data == nullptr) throw std::runtime_error("unable to create Matroska cover attachment");
    std::copy(picture.bytes.begin(), picture.bytes.end(), data);
    stream->codecpar->extradata = data;
    stream->codecpar->extradata_size = static_cast<int>(picture.bytes.size());
    av_dict_set(&stream->metadata, "filename", picture.file_name.c_str(), 0);
    av_dict_set(&stream->metadata, "mimetype", picture.mime_type.c_str(), 0);
}

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

namespace {

// One Matroska file being written: its header is out, packets go in with running timestamps from 0.
struct MatroskaMux {
    MatroskaOutput output;
    DtsPacking packing = DtsPacking::Be16;  // of the frames handed in
    AVStream* stream = nullptr;
    AVRational sample_clock{1, 1};
    PacketHandle packet;
    std::int64_t running = 0;
    std::uint64_t frames = 0;

    MatroskaMux(StagedOutput staged, DtsPacking carried) : output(std::move(staged)), packing(carried) {}
};

// One chapter per track, from its index 1 (the first from the file's start, so the whole file is in
// chapters) to the next one's, the last to `duration`; in the sample clock.
void add_matroska_chapters(AVFormatContext* context, const TrackList& tracks, std::int64_t duration, int sample_rate) {
    for (std::size_t k = 0; k < tracks.tracks.size(); ++k) {
        const TrackListEntry& track = tracks.tracks[k];
        // FFmpeg has no public constructor for chapters; the context frees those it holds.
        auto** grown = static_cast<AVChapter**>(
            av_realloc_array(context->chapters, context->nb_chapters + 1, sizeof(AVChapter*)));
        if (grown == nullptr) throw std::runtime_error("unable to allocate Matroska chapters");
        context->chapters = grown;
        auto* chapter = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
        if (chapter == nullptr) throw std::runtime_error("unable to allocate Matroska chapters");
        context->chapters[context->nb_chapters++] = chapter;
        chapter->id = static_cast<std::int64_t>(k + 1);
        chapter->time_base = AVRational{1, sample_rate};
        chapter->start = k == 0 ? 0 : static_cast<std::int64_t>(track_start_offset(track));
        chapter->end = k + 1 < tracks.tracks.size()
                           ? static_cast<std::int64_t>(track_start_offset(tracks.tracks[k + 1]))
                           : duration;
        const std::string title = track.title.empty() ? "Track " + two_digit_track_label(track.number) : track.title;
        av_dict_set(&chapter->metadata, "title", title.c_str(), 0);
    }
}

void open_matroska(MatroskaMux& mux, const DtsStreamParams& params, const TagSet& tags,
                   const TrackList& chapters = TrackList{}, std::int64_t duration = 0) {
    const std::u8string utf8_path_bytes = mux.output.staged.path.u8string();
    const std::string utf8_path(utf8_path_bytes.begin(), utf8_path_bytes.end());

    AVFormatContext* raw_context = nullptr;
    const int alloc_result = avformat_alloc_output_context2(&raw_context, nullptr, "matroska", utf8_path.c_str());
    mux.output.context.reset(raw_context);
    if (alloc_result < 0 || raw_context == nullptr) {
        throw std::runtime_error("unable to create Matroska output context");
    }
    AVFormatContext* const context = raw_context;

    AVStream* const stream = avformat_new_stream(context, nullptr);
    if (stream == nullptr) throw std::runtime_error("unable to create Matroska DTS stream");
    mux.stream = stream;
    mux.sample_clock = AVRational{1, params.sample_rate};
    stream->time_base = mux.sample_clock;
    stream->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
    stream->codecpar->codec_id = AV_CODEC_ID_DTS;
    stream->codecpar->sample_rate = params.sample_rate;
    // The only audio track, so the one players pick.
    stream->disposition = AV_DISPOSITION_DEFAULT;
    if (av_channel_layout_copy(&stream->codecpar->ch_layout, &params.channel_layout) < 0) {
        throw std::runtime_error("unable to set Matroska DTS channel layout");
    }

    set_matroska_tags(&stream->metadata, tags);
    set_matroska_tags(&context->metadata, tags);
    add_matroska_chapters(context, chapters, duration, params.sample_rate);
    if (tags.picture) add_cover_attachment(context, *tags.picture);

    if ((context->oformat->flags & AVFMT_NOFILE) == 0) {
        const int result = avio_open(&context->pb, utf8_path.c_str(), AVIO_FLAG_WRITE);
        if (result < 0) throw ffmpeg_failure("unable to create Matroska output: ", result);
        mux.output.file.reset(context->pb);
    }

    // Initialising the muxer puts libavformat's own name into the file-level "encoder" entry; setting
    // ours between initialisation and header writing is what makes the file name this program.
    int result = avformat_init_output(context, nullptr);
    if (result < 0) throw ffmpeg_failure("unable to write Matroska header: ", result);
    av_dict_set(&context->metadata, "encoder", kProgramId, 0);
    result = avformat_write_header(context, nullptr);
    if (result < 0) throw ffmpeg_failure("unable to write Matroska header: ", result);

    mux.packet.reset(av_packet_alloc());
    if (!mux.packet) throw std::runtime_error("unable to allocate Matroska packet");
}

// Writes one frame in the form Matroska's A_DTS holds, 16-bit big-endian words (other carriages
// converted into the packet): a big-endian frame by reference to `payload_ref` when given (the frame
// lies in that buffer, which outlives the output context), copied otherwise.
void write_matroska_frame(MatroskaMux& mux, std::span<const std::uint8_t> frame, std::int32_t duration,
                          AVBufferRef* payload_ref) {
    check_interruption();
    AVPacket* const packet = mux.packet.get();
    av_packet_unref(packet);
    if (mux.packing != DtsPacking::Be16) {
        const std::size_t size = standard_dts_frame_size(frame, mux.packing);
        const int result = av_new_packet(packet, static_cast<int>(size));
        if (result < 0) throw ffmpeg_failure("unable to allocate DTS mux packet: ", result);
        write_standard_dts_frame(frame, mux.packing, std::span<std::uint8_t>(packet->data, size));
    } else if (payload_ref != nullptr) {
        packet->buf = av_buffer_ref(payload_ref);
        if (packet->buf == nullptr) throw ffmpeg_failure("unable to allocate DTS mux packet: ", AVERROR(ENOMEM));
        packet->data = const_cast<std::uint8_t*>(frame.data());
        packet->size = static_cast<int>(frame.size());
    } else {
        const int result = av_new_packet(packet, static_cast<int>(frame.size()));
        if (result < 0) throw ffmpeg_failure("unable to allocate DTS mux packet: ", result);
        std::copy(frame.begin(), frame.end(), packet->data);
    }
    packet->stream_index = mux.stream->index;
    packet->pts = mux.running;
    packet->dts = mux.running;
    packet->duration = duration;
    packet->pos = -1;
    av_packet_rescale_ts(packet, mux.sample_clock, mux.stream->time_base);
    const int result = av_interleaved_write_frame(mux.output.context.get(), packet);
    if (result < 0) throw ffmpeg_failure("error writing DTS packet to Matroska: ", result);
    mux.running += duration;
    ++mux.frames;
}

void finish_matroska(MatroskaMux& mux, const DtsStreamParams& params, std::ostream& report) {
    int result = av_write_trailer(mux.output.context.get());
    if (result < 0) throw ffmpeg_failure("unable to finalise Matroska output: ", result);
    // A write that only fails when the file is closed must not pass for success.
    result = mux.output.close_file();
    if (result < 0) throw ffmpeg_failure("unable to finalise Matroska output: ", result);

    report << "DTS frames: " << mux.frames << '\n'
           << "Matroska timestamps: " << params.sample_rate << " Hz sample clock -> muxer time base "
           << mux.stream->time_base.num << '/' << mux.stream->time_base.den << ", " << params.samples_per_frame
           << " samples/frame\n"
           << "Duration: " << static_cast<double>(mux.running) / params.sample_rate << " seconds\n"
           << "DTS bitstream copied without audio re-encoding\n";
    mux.output.staged.commit();
}

// A file's payload as an FFmpeg buffer, so that the frames lying in it reach the muxer by reference:
// the payload outlives the output context, and the read-only flag makes FFmpeg copy rather than write
// into it. None for a disc, whose payloads come and go.
struct PayloadReference {
    std::span<const std::uint8_t> stream;
    BufferRefHandle ref;

    explicit PayloadReference(const DtsSource& source) {
        if (source.file == nullptr || dts_stream(*source.file).empty()) return;
        stream = dts_stream(*source.file);
        ref = borrowed_buffer(stream);
        if (!ref) throw ffmpeg_failure("unable to allocate DTS mux packet: ", AVERROR(ENOMEM));
    }

    // The reference for a frame lying in the payload, else none.
    AVBufferRef* of(std::span<const std::uint8_t> frame) const {
        // Compared as addresses: the parser hands back a pointer into what it was offered or into its own buffer.
        const std::less_equal<const std::uint8_t*> not_after;
        const bool inside = not_after(stream.data(), frame.data()) &&
                            not_after(frame.data() + frame.size(), stream.data() + stream.size());
        return ref && inside ? ref.get() : nullptr;
    }
};

// The stream's duration in its sample clock, its cut last frame left out. A file's chapters end there,
// and the header that holds them comes before the first frame: a stream with chapters is parsed once
// ahead.
std::int64_t stream_duration(const DtsSource& source) {
    DtsStreamParams params;  // of the first frame, for frames whose duration the parser does not tell
    std::int64_t duration = 0;
    run_dts_parser_segments(
        source.segments, source.packing, kWording,
        [&](std::span<const std::uint8_t> frame, int frame_duration, std::uint64_t) {
            if (params.samples_per_frame == 0) probe_dts_stream(make_dts_packet(frame, frame_duration, {}), params);
            duration += frame_duration < 1 ? params.samples_per_frame : frame_duration;
        },
        kDefaultParserPieceSize, [](std::size_t) {});
    return duration;
}

}  // namespace

std::size_t mux_matroska(const DtsSource& source, const TrackOutputs& tracks, const OutputSettings& settings,
                         std::ostream& report) {
    require_one_output_per_track(tracks.boundaries, tracks.outputs.size());
    // An existing output is refused before the stream is read.
    for (const TrackOutput& output : tracks.outputs) apply_overwrite_rule(output.path, settings.overwrite);
    const bool chapters = std::any_of(tracks.outputs.begin(), tracks.outputs.end(),
                                      [](const TrackOutput& output) { return !output.track_list.tracks.empty(); });
    const std::int64_t duration = chapters ? stream_duration(source) : 0;
    TrackBoundaries boundaries = tracks.boundaries;
    DtsStreamParams params;
    const PayloadReference payload(source);  // outlives the output context
    std::optional<MatroskaMux> mux;
    std::size_t track = 0;
    std::size_t cut_last_frame = 0;
    const auto open_track = [&](std::size_t index) {
        on_track_output(index, [&] {
            const TrackOutput& output = tracks.outputs[index];
            mux.emplace(StagedOutput(output.path, settings.overwrite), source.packing);
            open_matroska(*mux, params, output.tags, output.track_list, duration);
        });
    };
    const auto finish_track = [&] {
        on_track_output(track, [&] {
            finish_matroska(*mux, params, report);
            mux.reset();
        });
    };
    const auto on_frame = [&](std::span<const std::uint8_t> frame, int frame_duration, std::uint64_t start) {
        const std::size_t frame_track = track_of_frame(boundaries, start);
        if (!mux) {
            probe_dts_stream(make_dts_packet(frame, frame_duration, {}), params);
            if (frame_track > 0) throw_track_without_frames(0);
            open_track(track);
        }
        while (track < frame_track) {
            if (frame_track > track + 1) throw_track_without_frames(track + 1);
            finish_track();
            open_track(++track);
        }
        on_track_output(track, [&] {
            write_matroska_frame(*mux, frame, frame_duration < 1 ? params.samples_per_frame : frame_duration,
                                 payload.of(frame));
        });
        if (tracks.on_progress) tracks.on_progress(track, start + frame.size());
    };
    run_dts_parser_segments(source.segments, source.packing, kWording, on_frame, kDefaultParserPieceSize,
                            [&cut_last_frame](std::size_t size) { cut_last_frame = size; });
    if (!mux) throw std::runtime_error("DTS stream contained no complete packets for Matroska muxing");
    if (track + 1 != tracks.outputs.size()) throw_track_without_frames(track + 1);
    finish_track();
    return cut_last_frame;
}

}  // namespace orvane
