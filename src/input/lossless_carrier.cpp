#include "input/lossless_carrier.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>

#include "common/byte_order.hpp"
#include "ffmpeg/ffmpeg_handles.hpp"
#include "dts/dts_sync.hpp"
#include "common/text_encoding.hpp"
#include "platform/file_bytes.hpp"
#include "platform/interruption.hpp"


namespace orvane {
namespace {

constexpr int kIoBufferSize = 1 << 16;
constexpr std::uint32_t kWavPackHybridFlag = 0x8;

// The input as FFmpeg reads it: through `read_at`, whether the bytes are in a file or in memory, so
// that the fuzzer runs the same code as a real run. A failed read keeps its exception for later,
// because it must not unwind through FFmpeg.
struct IoSource {
    const ReadAt* read_at = nullptr;
    std::uint64_t size = 0;
    std::uint64_t position = 0;
    std::exception_ptr failure;
};

int read_packet(void* opaque, std::uint8_t* buffer, int capacity) {
    auto& source = *static_cast<IoSource*>(opaque);
    if (source.position >= source.size) return AVERROR_EOF;
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(capacity, source.size - source.position));
    try {
        (*source.read_at)(source.position, count, buffer);
    } catch (...) {
        source.failure = std::current_exception();
        return AVERROR(EIO);
    }
    source.position += count;
    return static_cast<int>(count);
}

std::int64_t seek(void* opaque, std::int64_t offset, int whence) {
    auto& source = *static_cast<IoSource*>(opaque);
    const auto size = static_cast<std::int64_t>(source.size);
    std::int64_t target = 0;
    switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE: return size;
        case SEEK_SET: target = offset; break;
        case SEEK_CUR: target = static_cast<std::int64_t>(source.position) + offset; break;
        case SEEK_END: target = size + offset; break;
        default: return AVERROR(EINVAL);
    }
    if (target < 0) return AVERROR(EINVAL);
    source.position = static_cast<std::uint64_t>(target);
    return target;
}

const char* format_name(CarrierFormat format) { return format == CarrierFormat::Flac ? "FLAC" : "WavPack"; }

// Where an ID3v2 tag in front of the audio ends (0 without one): header, body and optional footer.
std::uint64_t id3v2_end(std::uint64_t size, const ReadAt& read_at) {
    if (size < 10) return 0;
    std::uint8_t header[10];
    read_at(0, sizeof header, header);
    if (std::memcmp(header, "ID3", 3) != 0 || ((header[6] | header[7] | header[8] | header[9]) & 0x80) != 0) return 0;
    const std::uint64_t body = std::uint64_t{header[6]} << 21 | header[7] << 14 | header[8] << 7 | header[9];
    return 10 + body + ((header[5] & 0x10) != 0 ? 10 : 0);
}

// Carrier tags: the common names become fields; every other tag is kept under its own name, except
// those that describe the carrier's encoding or loudness and would be wrong for the decoded audio.
TagSet carrier_tags(const AVDictionary* metadata) {
    TagSet tags;
    const AVDictionaryEntry* entry = nullptr;
    while ((entry = av_dict_get(metadata, "", entry, AV_DICT_IGNORE_SUFFIX)) != nullptr) {
        // Tags are written as UTF-8; a value that is not (a broken APEv2 tag) cannot be carried over.
        if (!is_valid_utf8(entry->value)) continue;
        if (set_tag_by_name(tags, entry->key, entry->value)) continue;
        std::string name = entry->key;
        bool printable = !name.empty();
        for (char& c : name) {
            printable = printable && c >= 0x20 && c <= 0x7D && c != '=';
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        }
        const bool describes_carrier = name == "ENCODER" || name == "ENCODERSETTINGS" ||
                                       name.starts_with("REPLAYGAIN_") || name.starts_with("R128_") ||
                                       name == "WAVEFORMATEXTENSIBLE_CHANNEL_MASK";
        if (printable && !describes_carrier && *entry->value != '\0') tags.extra.emplace_back(name, entry->value);
    }
    return tags;
}

// A WavPack file in hybrid mode holds lossy samples (the correction file is not read): the DTS
// bitstream in it is gone, however well it plays.
bool is_hybrid_wavpack(std::uint64_t start, std::uint64_t size, const ReadAt& read_at) {
    if (size < start + 32) return false;
    std::uint8_t header[32];
    read_at(start, sizeof header, header);
    const std::uint32_t flags = read_le32(header + 24);
    return (flags & kWavPackHybridFlag) != 0;
}

// The decoded samples, gathered in memory that is never zero-filled first and may be backed by huge
// pages: page faults on an ordinary vector cost as much as the copying itself.
struct SampleBuffer {
    FileBytes memory;
    std::uint64_t used = 0;

    // Room for `count` more bytes at the end; grows (rarely: the first size is the expected one).
    std::uint8_t* extend(std::uint64_t count) {
        if (memory.size() - used < count) {
            FileBytes larger = allocate_file_bytes(std::max(used + count, memory.size() + memory.size() / 2));
            if (used > 0) std::memcpy(const_cast<std::uint8_t*>(larger.data()), memory.data(), used);
            memory = std::move(larger);
        }
        std::uint8_t* tail = const_cast<std::uint8_t*>(memory.data()) + used;
        used += count;
        return tail;
    }
    std::span<const std::uint8_t> bytes() const { return memory.bytes().first(static_cast<std::size_t>(used)); }
};

// Appends one decoded frame as a WAV "data" chunk holds it: interleaved 16-bit little-endian samples.
void append_samples(const AVFrame& frame, SampleBuffer& payload) {
    const auto count = static_cast<std::size_t>(frame.nb_samples) * 2;
    auto* out = payload.extend(count * 2);
    const auto* left = reinterpret_cast<const std::int16_t*>(frame.extended_data[0]);
    if (frame.format == AV_SAMPLE_FMT_S16 && std::endian::native == std::endian::little) {
        std::memcpy(out, left, count * 2);
        return;
    }
    const auto* right = reinterpret_cast<const std::int16_t*>(frame.extended_data[1]);
    for (std::size_t i = 0; i < count; ++i) {
        const std::int16_t sample =
            frame.format == AV_SAMPLE_FMT_S16 ? left[i] : (i % 2 == 0 ? left : right)[i / 2];
        write_le16(out + 2 * i, static_cast<std::uint16_t>(sample));
    }
}

// The carrier's demuxer, reading through `source` by way of `io` (which must outlive it).
InputContextHandle open_demuxer(CarrierFormat format, IoSource& source, IoContextHandle& io) {
    const std::string name = format_name(format);
    const AVInputFormat* demuxer = av_find_input_format(format == CarrierFormat::Flac ? "flac" : "wv");
    if (demuxer == nullptr) throw std::runtime_error("FFmpeg " + name + " demuxer is unavailable");

    MemoryHandle io_buffer(static_cast<std::uint8_t*>(av_malloc(kIoBufferSize)));
    if (!io_buffer) throw std::bad_alloc();
    io.reset(avio_alloc_context(io_buffer.get(), kIoBufferSize, 0, &source, read_packet, nullptr, seek));
    if (!io) throw std::bad_alloc();
    io_buffer.release();  // the I/O context's from here
    AVFormatContext* opened = avformat_alloc_context();
    if (opened == nullptr) throw std::bad_alloc();
    opened->pb = io.get();
    opened->flags |= AVFMT_FLAG_CUSTOM_IO;
    // The FLAC demuxer hands its parser 1 KiB at a time unless told otherwise; larger reads spare
    // the parser most of its per-call work (an option the WavPack demuxer simply leaves unused).
    DictionaryHandle options;
    {
        AVDictionary* raw = nullptr;
        av_dict_set(&raw, "raw_packet_size", "65536", 0);
        options.reset(raw);
    }
    AVDictionary* open_options = options.release();
    const int open_result = avformat_open_input(&opened, nullptr, demuxer, &open_options);  // frees it on failure
    options.reset(open_options);
    if (source.failure) std::rethrow_exception(source.failure);
    if (open_result < 0) throw std::runtime_error("invalid or unsupported " + name + " file");
    return InputContextHandle(opened);
}

int audio_stream_index(const AVFormatContext& input, CarrierFormat format) {
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        if (input.streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) return static_cast<int>(i);
    }
    throw std::runtime_error("invalid or unsupported " + std::string(format_name(format)) + " file");
}

// The carrier's sample rate; refuses a carrier that cannot hold a DTS-CD.
int dts_cd_sample_rate(CarrierFormat format, const AVCodecParameters& parameters) {
    // FFmpeg's FLAC demuxer leaves the format to its parser; STREAMINFO (the extradata) holds it.
    int sample_rate = parameters.sample_rate;
    int channels = parameters.ch_layout.nb_channels;
    int bits = parameters.bits_per_coded_sample;
    if (format == CarrierFormat::Flac) {
        if (parameters.extradata_size < 34) throw std::runtime_error("invalid or unsupported FLAC file");
        const std::uint8_t* info = parameters.extradata;
        sample_rate = info[10] << 12 | info[11] << 4 | info[12] >> 4;
        channels = ((info[12] >> 1) & 0x7) + 1;
        bits = ((info[12] & 0x1) << 4 | info[13] >> 4) + 1;
    }
    // A DTS-CD is 16-bit stereo at 44.1 kHz (48 kHz in DTS-in-WAV files); any other carrier holds
    // ordinary audio, refused as a WAV of it would be.
    if ((sample_rate != 44100 && sample_rate != 48000) || channels != 2 || bits != 16) {
        throw std::runtime_error("no valid DTS sync word was detected");
    }
    return sample_rate;
}

CodecContextHandle open_decoder(CarrierFormat format, const AVCodecParameters& parameters) {
    const std::string name = format_name(format);
    const AVCodec* codec = avcodec_find_decoder(parameters.codec_id);
    if (codec == nullptr) throw std::runtime_error("FFmpeg " + name + " decoder is unavailable");
    CodecContextHandle decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), &parameters) < 0) throw std::bad_alloc();
    // Every frame's CRC is checked and a failed check is an error, never a frame concealed or dropped.
    decoder->err_recognition = AV_EF_CRCCHECK | AV_EF_EXPLODE;
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0) {
        throw std::runtime_error("unable to open FFmpeg " + name + " decoder");
    }
    return decoder;
}

// The decoding of the carrier's audio stream into the payload's samples, checked as it goes.
struct CarrierDecode {
    std::string name;
    CodecContextHandle decoder;
    int sample_rate = 0;
    bool per_sample_clock = false;  // the stream's time base counts samples
    std::int64_t declared = 0;      // the length the file declares, in samples per channel; 0 for none
    SampleBuffer samples;
    std::array<std::uint8_t, 16> signature{};  // FLAC's MD5 of the samples; zero for none
    Md5Handle md5;
    PacketHandle packet;
    FrameHandle frame;
    std::int64_t decoded = 0;
    bool sync_checked = false;

    std::runtime_error damaged(const std::string& what) const {
        return std::runtime_error(name + " carrier is damaged: " + what);
    }
    bool has_signature() const { return signature != std::array<std::uint8_t, 16>{}; }
};

// The decode's state before the first packet: the reservation for the samples, the signature to check.
void prepare_decode(CarrierDecode& run, CarrierFormat format, const AVStream& stream, std::uint64_t size) {
    const AVCodecParameters& parameters = *stream.codecpar;
    run.per_sample_clock = stream.time_base.num == 1 && stream.time_base.den == run.sample_rate;
    run.declared = run.per_sample_clock && stream.duration > 0 ? stream.duration : 0;
    // The reservation trusts the declared length only as far as the file could plausibly hold it:
    // a DTS carrier hardly compresses, so a declaration far beyond the file's size is a lie.
    const std::uint64_t reserve =
        run.declared > 0 ? std::min<std::uint64_t>(static_cast<std::uint64_t>(run.declared) * 4, size * 4 + (1u << 20))
                         : size + size / 4;
    run.samples.memory = allocate_file_bytes(std::max<std::uint64_t>(reserve, 1));
    // FLAC keeps an MD5 signature of the samples in STREAMINFO (bytes 18 to 33); zero means none.
    if (format == CarrierFormat::Flac && parameters.extradata_size >= 34) {
        std::memcpy(run.signature.data(), parameters.extradata + 18, run.signature.size());
    }
    run.md5.reset(av_md5_alloc());
    if (!run.md5) throw std::bad_alloc();
    av_md5_init(run.md5.get());
    run.packet.reset(av_packet_alloc());
    run.frame.reset(av_frame_alloc());
    if (!run.packet || !run.frame) throw std::bad_alloc();
}

// Takes every frame the decoder has ready into the samples.
void receive_frames(CarrierDecode& run) {
    AVFrame* const frame = run.frame.get();
    for (;;) {
        const int result = avcodec_receive_frame(run.decoder.get(), frame);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return;
        if (result < 0 || (frame->format != AV_SAMPLE_FMT_S16 && frame->format != AV_SAMPLE_FMT_S16P) ||
            frame->ch_layout.nb_channels != 2 || frame->sample_rate != run.sample_rate) {
            throw run.damaged("frame at sample " + std::to_string(run.decoded) + " is corrupt");
        }
        if (run.declared > 0 && run.decoded + frame->nb_samples > run.declared) {
            throw run.damaged("more samples than the " + std::to_string(run.declared) + " declared");
        }
        const std::uint64_t start = run.samples.used;
        append_samples(*frame, run.samples);
        if (run.has_signature()) {
            av_md5_update(run.md5.get(), run.samples.bytes().data() + start,
                          static_cast<std::size_t>(run.samples.used - start));
        }
        run.decoded += frame->nb_samples;
        av_frame_unref(frame);
        // Only the first 1 MiB is ever searched: music is refused without decoding the rest.
        if (!run.sync_checked && run.samples.used >= kInputSyncScanLimit) {
            run.sync_checked = true;
            if (find_dts_sync(run.samples.bytes().data(), run.samples.used, kInputSyncScanLimit).first ==
                DtsPacking::Unknown) {
                throw std::runtime_error("no valid DTS sync word was detected");
            }
        }
    }
}

// Sends every packet of the audio stream to the decoder, then drains it.
void decode_stream(CarrierDecode& run, AVFormatContext& input, int stream_index, const IoSource& source) {
    AVPacket* const packet = run.packet.get();
    for (;;) {
        check_interruption();
        const int result = av_read_frame(&input, packet);
        if (source.failure) std::rethrow_exception(source.failure);
        if (result == AVERROR_EOF) break;
        if (result < 0) throw run.damaged("unreadable after sample " + std::to_string(run.decoded));
        if (packet->stream_index == stream_index) {
            // Each frame carries its position: a frame lost in demuxing shows as a gap.
            if (packet->pts != AV_NOPTS_VALUE && run.per_sample_clock && packet->pts != run.decoded) {
                throw run.damaged("samples missing at sample " + std::to_string(run.decoded));
            }
            if (avcodec_send_packet(run.decoder.get(), packet) < 0) {
                throw run.damaged("frame at sample " + std::to_string(run.decoded) + " is corrupt");
            }
            receive_frames(run);
        }
        av_packet_unref(packet);
    }
    avcodec_send_packet(run.decoder.get(), nullptr);
    receive_frames(run);
}

}  // namespace

std::optional<CarrierFormat> sniff_lossless_carrier(std::uint64_t size, const ReadAt& read_at) {
    const std::uint64_t start = id3v2_end(size, read_at);
    if (start > size || size - start < 4) return std::nullopt;
    std::uint8_t marker[4];
    read_at(start, sizeof marker, marker);
    if (std::memcmp(marker, "fLaC", 4) == 0) return CarrierFormat::Flac;
    if (std::memcmp(marker, "wvpk", 4) == 0) return CarrierFormat::WavPack;
    return std::nullopt;
}

void decode_lossless_carrier(CarrierFormat format, std::uint64_t size, const ReadAt& read_at,
                             InputAnalysis& analysis) {
    if (format == CarrierFormat::WavPack && is_hybrid_wavpack(id3v2_end(size, read_at), size, read_at)) {
        throw std::runtime_error("WavPack carrier is lossy (hybrid mode): it cannot hold a DTS stream");
    }
    IoSource source{&read_at, size, 0, nullptr};
    IoContextHandle io;
    const InputContextHandle input = open_demuxer(format, source, io);
    const int stream_index = audio_stream_index(*input, format);
    const AVStream& stream = *input->streams[stream_index];
    CarrierDecode run;
    run.name = format_name(format);
    run.sample_rate = dts_cd_sample_rate(format, *stream.codecpar);
    analysis.has_pcm_carrier = true;
    analysis.carrier_format = format;
    analysis.sample_rate = static_cast<std::uint32_t>(run.sample_rate);
    analysis.bits_per_sample = 16;
    analysis.channels = 2;
    analysis.carrier_tags = carrier_tags(input->metadata);

    run.decoder = open_decoder(format, *stream.codecpar);
    prepare_decode(run, format, stream, size);
    decode_stream(run, *input, stream_index, source);
    if (run.declared > 0 && run.decoded != run.declared) {
        throw run.damaged("ends after " + std::to_string(run.decoded) + " of " + std::to_string(run.declared) +
                          " samples");
    }
    if (run.has_signature()) {
        std::array<std::uint8_t, 16> digest{};
        av_md5_final(run.md5.get(), digest.data());
        if (digest != run.signature) throw run.damaged("MD5 mismatch");
        analysis.md5_verified = true;
    }
    analysis.payload = Payload(std::move(run.samples.memory), 0, run.samples.used);
}

}  // namespace orvane
