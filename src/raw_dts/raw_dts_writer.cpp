#include "raw_dts/raw_dts_writer.hpp"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <functional>
#include <ostream>
#include <optional>
#include <stdexcept>
#include <vector>

#include "common/byte_order.hpp"
#include "output/staged_output.hpp"
#include "output/track_output_failure.hpp"
#include "dts/dts_frame_walk.hpp"
#include "dts/fourteen_bit_extraction.hpp"
#include "dts/dts_sync.hpp"
#include "dts/dts_parser.hpp"
#include "platform/interruption.hpp"
#include "platform/output_file.hpp"

namespace orvane {
namespace {

constexpr std::size_t kSwapChunkSize = std::size_t{1} << 20;

// A disc's frames are written one by one: gathered into large writes, not one system call per
// couple of frames.
constexpr std::size_t kRawWriteBufferSize = std::size_t{1} << 18;

struct RawOutput {
    std::unique_ptr<char[]> stream_buffer;  // outlives `file`, which uses it
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file{nullptr, std::fclose};
};

void open_output(RawOutput& output, const std::filesystem::path& output_path) {
    output.file.reset(open_output_file(output_path));
    if (!output.file) throw std::runtime_error("unable to create output file");
    output.stream_buffer = std::make_unique_for_overwrite<char[]>(kRawWriteBufferSize);
    std::setvbuf(output.file.get(), output.stream_buffer.get(), _IOFBF, kRawWriteBufferSize);
}

void write_bytes(RawOutput& output, const std::uint8_t* data, std::size_t size) {
    check_interruption();
    if (size > 0 && std::fwrite(data, 1, size, output.file.get()) != size) {
        throw std::runtime_error("error writing DTS output");
    }
}

// Writes a range of a 16-bit little-endian stream as big-endian (words counted from the sync word), a
// chunk at a time, so no copy of the whole stream is made.
void write_swapped(RawOutput& output, std::span<const std::uint8_t> stream, const ByteRange& range) {
    std::vector<std::uint8_t> chunk(std::min(kSwapChunkSize, range.size));
    for (std::size_t done = 0; done < range.size;) {
        const std::size_t size = std::min(kSwapChunkSize, range.size - done);
        copy_pair_swapped(stream, range.offset + done, std::span<std::uint8_t>(chunk.data(), size));
        write_bytes(output, chunk.data(), size);
        done += size;
    }
}

void close_output(RawOutput& output) {
    // A full disk often shows only when the last buffer is flushed at close.
    if (std::fclose(output.file.release()) != 0) throw std::runtime_error("error writing DTS output");
}

// Zero stuffing, optionally ending in an S/PDIF burst preamble (Pa Pb in either byte order, then Pc
// Pd): the carrier's own structure between frames, not damage.
bool is_carrier_structure(std::span<const std::uint8_t> gap) {
    std::size_t zeros = gap.size();
    if (gap.size() >= 8) {
        const std::uint8_t* p = gap.data() + gap.size() - 8;
        const bool big = p[0] == 0xF8 && p[1] == 0x72 && p[2] == 0x4E && p[3] == 0x1F;
        const bool little = p[0] == 0x72 && p[1] == 0xF8 && p[2] == 0x1F && p[3] == 0x4E;
        if (big || little) zeros -= 8;
    }
    return std::all_of(gap.begin(), gap.begin() + static_cast<std::ptrdiff_t>(zeros),
                       [](std::uint8_t byte) { return byte == 0; });
}

void write_16bit_file(const std::filesystem::path& output_path, const InputAnalysis& analysis, std::ostream& report) {
    const auto stream = dts_stream(analysis);
    const bool swapped = analysis.packing == DtsPacking::Le16;
    DtsFrameWalk walk;
    if (analysis.has_pcm_carrier) {
        walk = walk_dts_frames(stream, swapped);
    } else {
        // A raw stream is copied from its first sync word to its end, whatever follows.
        walk.kept = {{0, stream.size()}};
    }
    if (walk.dropped_bytes > 0) {
        report << "DTS frames: " << walk.core_frames << "\n";
        // Bytes dropped between kept frames are damage or foreign data inside the stream: say where.
        const std::uint64_t stream_start = analysis.payload_offset + analysis.sync_offset;
        for (std::size_t i = 1; i < walk.kept.size(); ++i) {
            const std::size_t gap_start = walk.kept[i - 1].offset + walk.kept[i - 1].size;
            if (is_carrier_structure(stream.subspan(gap_start, walk.kept[i].offset - gap_start))) continue;
            report << "Gap in DTS stream at input byte " << stream_start + gap_start << ": "
                   << walk.kept[i].offset - gap_start << " bytes dropped\n";
        }
        report << "Carrier padding removed: " << walk.dropped_bytes << " bytes\n";
    }

    RawOutput output;
    open_output(output, output_path);
    for (const ByteRange& range : walk.kept) {
        if (swapped) {
            write_swapped(output, stream, range);
        } else {
            write_bytes(output, stream.data() + range.offset, range.size);
        }
    }
    close_output(output);
}

void write_14bit_file(const std::filesystem::path& output_path, const InputAnalysis& analysis, std::ostream& report) {
    // The frames are written from where they lie in the payload whenever the parser left them there.
    const FourteenBitFrames frames = delimit_14bit_frames(analysis);
    if (analysis.has_pcm_carrier) {
        report << "DTS frames: " << frames.frame_count << "\n"
               << "14-bit DTS extracted without repacking (" << packing_name(analysis.packing) << ")\n";
    }
    // As the decode says it, also for a raw stream.
    if (frames.cut_last_frame > 0) {
        report << "Incomplete final DTS frame ignored: " << frames.cut_last_frame << " bytes\n";
    }
    if (analysis.has_pcm_carrier) {
        // What follows the frames, the cut one included.
        const std::uint64_t span = analysis.payload.size() - analysis.sync_offset;
        const std::uint64_t consumed = frames.bytes.size() + frames.cut_last_frame;
        if (consumed < span) report << "Carrier tail ignored: " << span - consumed << " bytes\n";
    }
    RawOutput output;
    open_output(output, output_path);
    write_bytes(output, frames.bytes.data(), frames.bytes.size());
    close_output(output);
}

// A file's stream, extracted whole.
void write_file(const InputAnalysis& analysis, const std::filesystem::path& output_path, bool overwrite,
                std::ostream& report) {
    StagedOutput output(output_path, overwrite);
    if (analysis.sync_offset >= analysis.payload.size()) throw std::runtime_error("invalid DTS sync offset");
    if (is_16bit(analysis.packing)) {
        write_16bit_file(output.path, analysis, report);
    } else if (is_14bit(analysis.packing)) {
        write_14bit_file(output.path, analysis, report);
    } else {
        throw std::runtime_error("unsupported DTS packing");
    }
    output.commit();
}

// A 16-bit frame of a carrier's stream as the file's walk keeps it: its core frame and the extension
// blocks after it, without the padding behind them; a frame that holds no complete core frame (the
// cut-off last one) is dropped. Returns the bytes dropped.
std::uint64_t write_walked_frame(RawOutput& output, std::span<const std::uint8_t> frame, bool swapped) {
    const DtsFrameWalk walk = walk_dts_frames(frame, swapped);
    if (walk.core_frames == 0) return frame.size();
    for (const ByteRange& range : walk.kept) {
        if (swapped) {
            write_swapped(output, frame, range);
        } else {
            write_bytes(output, frame.data() + range.offset, range.size);
        }
    }
    return walk.dropped_bytes;
}

// One frame of a disc's stream, kept as a file's extraction keeps it. Returns the bytes dropped.
std::uint64_t write_track_frame(RawOutput& output, std::span<const std::uint8_t> frame, const DtsSource& source) {
    if (is_14bit(source.packing)) {
        const auto [found, offset] = find_dts_sync(frame.data(), frame.size(), kFrameSyncScanLimit);
        if (found != source.packing || offset != 0) {
            throw std::runtime_error(
                "DTS parser returned a packet that does not begin with the expected 14-bit sync word");
        }
        write_bytes(output, frame.data(), frame.size());
        return 0;
    }
    if (source.carried) return write_walked_frame(output, frame, source.packing == DtsPacking::Le16);
    // A raw stream is copied whole, as one file of it would be.
    if (source.packing == DtsPacking::Le16) {
        write_swapped(output, frame, ByteRange{0, frame.size()});
    } else {
        write_bytes(output, frame.data(), frame.size());
    }
    return 0;
}

// A disc's stream fed segment by segment through one parser: every frame goes whole to the track in
// which it starts.
RawDtsSummary write_tracks(const DtsSource& source, const TrackOutputs& tracks, bool overwrite) {
    static constexpr DtsParserWording kWording{"unable to initialise DTS parser for DTS extraction",
                                               "DTS parser error during DTS extraction",
                                               "DTS parser flush error during DTS extraction"};
    if (!is_16bit(source.packing) && !is_14bit(source.packing)) throw std::runtime_error("unsupported DTS packing");
    TrackBoundaries boundaries = tracks.boundaries;
    std::optional<StagedOutput> staged;  // outlives `output`, so its file is closed before any removal
    std::optional<RawOutput> output;
    std::size_t track = 0;
    RawDtsSummary summary;
    const auto open_track = [&](std::size_t index) {
        on_track_output(index, [&] {
            staged.emplace(tracks.outputs[index].path, overwrite);
            output.emplace();
            open_output(*output, staged->path);
        });
    };
    const auto finish_track = [&] {
        on_track_output(track, [&] {
            close_output(*output);
            output.reset();
            staged->commit();
        });
    };
    const auto on_frame = [&](std::span<const std::uint8_t> frame, int, std::uint64_t start) {
        const std::size_t frame_track = track_of_frame(boundaries, start);
        if (!output) {
            if (frame_track > 0) throw_track_without_frames(0);
            open_track(0);
        }
        while (track < frame_track) {
            if (frame_track > track + 1) throw_track_without_frames(track + 1);
            finish_track();
            open_track(++track);
        }
        ++summary.frames;
        summary.dropped_bytes += on_track_output(track, [&] { return write_track_frame(*output, frame, source); });
        if (tracks.on_progress) tracks.on_progress(track, start + frame.size());
    };
    // A 16-bit carrier's cut last frame counts with its padding, as its file's walk counts it; a raw
    // 16-bit stream keeps it, as its file's extraction does.
    CutFrameAction on_cut_last_frame;
    if (is_14bit(source.packing)) {
        on_cut_last_frame = [&summary](std::size_t size) { summary.cut_last_frame = size; };
    } else if (source.carried) {
        on_cut_last_frame = [&summary](std::size_t size) { summary.dropped_bytes += size; };
    }
    run_dts_parser_segments(source.segments, source.packing, kWording, on_frame, kDefaultParserPieceSize,
                            on_cut_last_frame);
    if (!output) throw std::runtime_error("DTS stream contained no complete frames");
    if (track + 1 != tracks.outputs.size()) throw_track_without_frames(track + 1);
    finish_track();
    return summary;
}

}  // namespace

RawDtsSummary write_raw_dts(const DtsSource& source, const TrackOutputs& tracks, const OutputSettings& settings,
                            std::ostream& report) {
    require_one_output_per_track(tracks.boundaries, tracks.outputs.size());
    if (source.file == nullptr) return write_tracks(source, tracks, settings.overwrite);
    write_file(*source.file, tracks.outputs.front().path, settings.overwrite, report);
    return RawDtsSummary{};
}

}  // namespace orvane
