#include "flac/flac_writer.hpp"

#include <cstring>
#include <stdexcept>

#include "common/byte_order.hpp"
#include "ffmpeg/ffmpeg_error.hpp"
#include "platform/output_file.hpp"
#include "flac/flac_cuesheet.hpp"
#include "flac/flac_metadata_block.hpp"
#include "decode/sample_conversion.hpp"
#include "flac/flac_picture_block.hpp"
#include "flac/vorbis_comment.hpp"

namespace orvane {
namespace {

constexpr std::uint64_t kMaxStreaminfoSamples = (std::uint64_t{1} << 36) - 1;

void write_or_throw(std::FILE* file, const void* data, std::size_t size, const char* message) {
    if (std::fwrite(data, 1, size, file) != size) throw std::runtime_error(message);
}

// Writes the 36-bit total sample count into STREAMINFO, and the CUESHEET whose lead-out it is, and
// returns to the end of the file.
bool write_total_samples(FlacWriter& writer) {
    if (writer.total_samples > kMaxStreaminfoSamples) return false;
    // Body bytes 13 (low nibble) to 17 hold the count, behind rate, channels and depth.
    std::uint8_t* info = writer.streaminfo.data();
    info[13] = static_cast<std::uint8_t>((info[13] & 0xF0) | ((writer.total_samples >> 32) & 0x0F));
    write_be32(info + 14, static_cast<std::uint32_t>(writer.total_samples));
    if (std::fflush(writer.file) != 0 || std::fseek(writer.file, writer.streaminfo_offset, SEEK_SET) != 0 ||
        std::fwrite(info, 1, writer.streaminfo.size(), writer.file) != writer.streaminfo.size()) {
        return false;
    }
    if (writer.cuesheet_offset >= 0) {
        const std::vector<std::uint8_t> body =
            build_flac_cuesheet_body(writer.track_list, writer.total_samples, writer.sample_rate);
        if (std::fseek(writer.file, writer.cuesheet_offset, SEEK_SET) != 0 ||
            std::fwrite(body.data(), 1, body.size(), writer.file) != body.size()) {
            return false;
        }
    }
    return std::fflush(writer.file) == 0 && std::fseek(writer.file, 0, SEEK_END) == 0;
}

}  // namespace

FlacWriter::~FlacWriter() {
    if (file == nullptr) return;
    // Every packet of the samples sent so far is in the file: the encoder holds no frame back.
    if (!failed && streaminfo_offset >= 0) write_total_samples(*this);
    std::fclose(file);
}

int encoder_frame_size(const FlacWriter& writer) {
    const int size = writer.encoder ? writer.encoder->frame_size : 0;
    return size > 0 ? size : kDefaultFlacFrameSize;
}

void open_flac_output(FlacWriter& writer, const std::filesystem::path& output_path, int sample_rate,
                      const AVChannelLayout& channel_layout, bool overwrite, const TagSet& tags,
                      const TrackList& track_list) {
    writer.output.emplace(output_path, overwrite);
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_FLAC);
    if (codec == nullptr) throw std::runtime_error("FFmpeg FLAC encoder is unavailable");
    writer.encoder.reset(avcodec_alloc_context3(codec));
    writer.packet.reset(av_packet_alloc());
    if (!writer.encoder || !writer.packet) throw std::runtime_error("FLAC encoder allocation failed");

    AVCodecContext* encoder = writer.encoder.get();
    encoder->sample_rate = sample_rate;
    encoder->sample_fmt = AV_SAMPLE_FMT_S32;
    encoder->bits_per_raw_sample = 24;
    writer.channels = channel_layout.nb_channels;
    if (av_channel_layout_copy(&encoder->ch_layout, &channel_layout) < 0) {
        throw std::runtime_error("unable to copy FLAC channel layout");
    }
    if (const int result = avcodec_open2(encoder, codec, nullptr); result < 0) {
        throw ffmpeg_failure("unable to open FLAC encoder: ", result);
    }

    writer.file = open_output_file(writer.output->path);
    if (writer.file == nullptr) throw std::runtime_error("unable to create FLAC output");
    writer.stream_buffer = std::make_unique_for_overwrite<char[]>(kFlacWriteBufferSize);
    std::setvbuf(writer.file, writer.stream_buffer.get(), _IOFBF, kFlacWriteBufferSize);
    write_or_throw(writer.file, "fLaC", 4, "error writing FLAC stream marker");
    if (encoder->extradata == nullptr || encoder->extradata_size < 34) {
        throw std::runtime_error("FFmpeg FLAC encoder did not provide STREAMINFO");
    }
    std::memcpy(writer.streaminfo.data(), encoder->extradata, writer.streaminfo.size());
    const auto header = flac_block_header(FlacBlockType::StreamInfo, writer.streaminfo.size());
    write_or_throw(writer.file, header.data(), header.size(), "error writing FLAC STREAMINFO header");
    writer.streaminfo_offset = std::ftell(writer.file);
    if (writer.streaminfo_offset < 0) throw std::runtime_error("error writing FLAC STREAMINFO");
    write_or_throw(writer.file, writer.streaminfo.data(), writer.streaminfo.size(), "error writing FLAC STREAMINFO");
    if (!track_list.tracks.empty()) {
        // Written now with a lead-out at 0, rewritten in place (its size fixed) once the total is known.
        writer.track_list = track_list;
        writer.sample_rate = sample_rate;
        const std::vector<std::uint8_t> body = build_flac_cuesheet_body(track_list, 0, sample_rate);
        const auto cuesheet_header = flac_block_header(FlacBlockType::CueSheet, body.size());
        write_or_throw(writer.file, cuesheet_header.data(), cuesheet_header.size(), "error writing FLAC CUESHEET");
        writer.cuesheet_offset = std::ftell(writer.file);
        if (writer.cuesheet_offset < 0) throw std::runtime_error("error writing FLAC CUESHEET");
        write_or_throw(writer.file, body.data(), body.size(), "error writing FLAC CUESHEET");
    }
    if (tags.picture) write_flac_picture_block(writer.file, *tags.picture);
    write_vorbis_comment_block(writer.file, tags);
}

namespace {

// Sends every whole encoder frame of what `pcm` holds followed by `samples`: `pcm` is first topped
// up to whole frames, then the caller's samples go to the encoder from their own memory; what is
// left, less than a frame, stays in `pcm`.
void send_whole_frames(FlacWriter& writer, std::span<const std::int32_t> samples) {
    const int frame_size = encoder_frame_size(writer);
    const std::size_t values = static_cast<std::size_t>(frame_size) * static_cast<std::size_t>(writer.channels);
    if (!writer.pcm.empty()) {
        const std::size_t fill = std::min(samples.size(), values - writer.pcm.size() % values);
        writer.pcm.insert(writer.pcm.end(), samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(fill));
        samples = samples.subspan(fill);
        std::size_t sent = 0;
        for (; writer.pcm.size() - sent >= values; sent += values) {
            submit_flac_frame(writer, writer.pcm.data() + sent, frame_size);
        }
        writer.pcm.erase(writer.pcm.begin(), writer.pcm.begin() + static_cast<std::ptrdiff_t>(sent));
    }
    for (; samples.size() >= values; samples = samples.subspan(values)) {
        submit_flac_frame(writer, samples.data(), frame_size);
    }
    writer.pcm.insert(writer.pcm.end(), samples.begin(), samples.end());
}

}  // namespace

void buffer_flac_frame(FlacWriter& writer, const AVFrame& frame) {
    append_flac_samples(frame, writer.channels, writer.pcm);
    send_whole_frames(writer, {});
}

void buffer_flac_samples(FlacWriter& writer, std::span<const std::int32_t> samples) {
    send_whole_frames(writer, samples);
}

void submit_flac_frame(FlacWriter& writer, const std::int32_t* samples, int n) {
    if (!writer.encoder || n <= 0) return;
    AVCodecContext* encoder = writer.encoder.get();
    FrameHandle frame(av_frame_alloc());
    if (!frame) throw std::runtime_error("FLAC frame allocation failed");
    frame->format = encoder->sample_fmt;
    frame->sample_rate = encoder->sample_rate;
    frame->nb_samples = n;
    if (av_channel_layout_copy(&frame->ch_layout, &encoder->ch_layout) < 0) {
        throw std::runtime_error("unable to copy FLAC frame channel layout");
    }
    if (const int result = av_frame_get_buffer(frame.get(), 0); result < 0) {
        throw ffmpeg_failure("unable to allocate FLAC frame buffer: ", result);
    }
    std::memcpy(frame->data[0], samples,
                static_cast<std::size_t>(n) * static_cast<std::size_t>(writer.channels) * sizeof(std::int32_t));
    const int result = avcodec_send_frame(encoder, frame.get());
    frame.reset();
    if (result < 0) throw ffmpeg_failure("FLAC frame rejected: ", result);
    writer.total_samples += static_cast<std::uint64_t>(n);
    write_flac_packets(writer);
}

void write_flac_packets(FlacWriter& writer) {
    AVPacket* packet = writer.packet.get();
    for (;;) {
        const int result = avcodec_receive_packet(writer.encoder.get(), packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return;
        if (result < 0) {
            writer.failed = true;
            throw ffmpeg_failure("FLAC encoding failed: ", result);
        }
        // The encoder's last packet may carry side data only.
        const std::size_t size = static_cast<std::size_t>(packet->size);
        const bool written = size == 0 || std::fwrite(packet->data, 1, size, writer.file) == size;
        av_packet_unref(packet);
        if (!written) {
            writer.failed = true;
            throw std::runtime_error("error writing FLAC output");
        }
    }
}

void finish_flac(FlacWriter& writer) {
    if (!writer.pcm.empty()) {
        if (writer.channels <= 0 || writer.pcm.size() % static_cast<std::size_t>(writer.channels) != 0) {
            throw std::runtime_error("internal FLAC PCM buffer is not channel-aligned");
        }
        submit_flac_frame(writer, writer.pcm.data(),
                          static_cast<int>(writer.pcm.size() / static_cast<std::size_t>(writer.channels)));
        writer.pcm.clear();
    }
    if (const int result = avcodec_send_frame(writer.encoder.get(), nullptr); result < 0 && result != AVERROR_EOF) {
        throw ffmpeg_failure("unable to flush FLAC encoder: ", result);
    }
    write_flac_packets(writer);

    if (writer.file == nullptr || writer.streaminfo_offset < 0) {
        throw std::runtime_error("FLAC STREAMINFO patch state is invalid");
    }
    if (writer.total_samples > kMaxStreaminfoSamples) {
        throw std::runtime_error("FLAC total sample count exceeds the 36-bit STREAMINFO limit");
    }
    if (std::fflush(writer.file) != 0) {
        writer.failed = true;
        throw std::runtime_error("unable to flush FLAC output before STREAMINFO update");
    }
    if (!write_total_samples(writer)) {
        writer.failed = true;
        throw std::runtime_error("unable to update FLAC STREAMINFO total sample count");
    }
    // Closing is the last chance the system has to report a lost write.
    std::FILE* file = writer.file;
    writer.file = nullptr;
    if (std::fclose(file) != 0) throw std::runtime_error("error writing FLAC output");
    if (writer.output) writer.output->commit();
}

}  // namespace orvane
