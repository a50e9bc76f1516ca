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
#include "common/cover_picture.hpp"
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

// The carrier's cover: a picture FFmpeg hands over as an attached picture (a FLAC PICTURE block, a
// WavPack APEv2 cover art item), the front cover (FLAC type 3) before any other. One that is no JPEG
// or PNG, or larger than a FLAC block holds, is left behind rather than failing the conversion.
std::optional<CoverPicture> carrier_cover(const AVFormatContext& input) {
    std::optional<CoverPicture> chosen;
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        const AVStream& stream = *input.streams[i];
        if ((stream.disposition & AV_DISPOSITION_ATTACHED_PIC) == 0 || stream.attached_pic.size <= 0) continue;
        const AVDictionaryEntry* comment = av_dict_get(stream.metadata, "comment", nullptr, 0);
        const bool front = (comment != nullptr && std::strcmp(comment->value, "Cover (front)") == 0) ||
                           av_dict_get(stream.metadata, "Cover Art (Front)", nullptr, 0) != nullptr;
        if (chosen && !front) continue;
        try {
            chosen = parse_cover_picture({stream.attached_pic.data, static_cast<std::size_t>(stream.attached_pic.size)});
        } catch (const std::runtime_error&) {
            continue;
        }
        if (front) break;
    }
    return chosen;
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

// "2 GiB", or the bound a test chose, in the largest unit that states it exactly.
std::string size_text(std::uint64_t bytes) {
    if (bytes % (std::uint64_t{1} << 30) == 0) return std::to_string(bytes >> 30) + " GiB";
    if (bytes % (std::uint64_t{1} << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
    return std::to_string(bytes) + " bytes";
}

// The decoded samples, gathered in memory that is never zero-filled first and may be backed by huge
// pages: page faults on an ordinary vector cost as much as the copying itself. Taken once, never grown
// by copying; what is never written is never backed by memory either.
struct SampleBuffer {
    FileBytes memory;
    std::uint64_t used = 0;
    // Why there is no room for more.
    std::string too_long;

    // Room for `count` more bytes at the end.
    std::uint8_t* extend(std::uint64_t count) {
        if (count > memory.size() - used) throw std::runtime_error(too_long);
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

// The carrier open in FFmpeg's demuxer, reading through `read_at`, and its audio stream. The source
// is held by pointer: FFmpeg keeps its address.
struct OpenCarrier {
    std::unique_ptr<IoSource> source;
    IoContextHandle io;
    InputContextHandle input;
    int stream_index = -1;

    const AVStream& stream() const { return *input->streams[stream_index]; }
    // A failed read of the input is reported as itself, not as what FFmpeg made of it.
    void rethrow_read_failure() const {
        if (source->failure) std::rethrow_exception(source->failure);
    }
};

OpenCarrier open_carrier(CarrierFormat format, std::uint64_t size, const ReadAt& read_at) {
    const std::string name = format_name(format);
    if (format == CarrierFormat::WavPack && is_hybrid_wavpack(id3v2_end(size, read_at), size, read_at)) {
        throw std::runtime_error("WavPack carrier is lossy (hybrid mode): it cannot hold a DTS stream");
    }
    const AVInputFormat* demuxer = av_find_input_format(format == CarrierFormat::Flac ? "flac" : "wv");
    if (demuxer == nullptr) throw std::runtime_error("FFmpeg " + name + " demuxer is unavailable");

    OpenCarrier carrier;
    carrier.source = std::make_unique<IoSource>(IoSource{&read_at, size, 0, nullptr});
    MemoryHandle io_buffer(static_cast<std::uint8_t*>(av_malloc(kIoBufferSize)));
    if (!io_buffer) throw std::bad_alloc();
    carrier.io.reset(
        avio_alloc_context(io_buffer.get(), kIoBufferSize, 0, carrier.source.get(), read_packet, nullptr, seek));
    if (!carrier.io) throw std::bad_alloc();
    io_buffer.release();  // the I/O context's from here
    AVFormatContext* opened = avformat_alloc_context();
    if (opened == nullptr) throw std::bad_alloc();
    opened->pb = carrier.io.get();
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
    carrier.rethrow_read_failure();
    if (open_result < 0) throw std::runtime_error("invalid or unsupported " + name + " file");
    carrier.input.reset(opened);

    for (unsigned i = 0; i < carrier.input->nb_streams && carrier.stream_index < 0; ++i) {
        if (carrier.input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            carrier.stream_index = static_cast<int>(i);
        }
    }
    if (carrier.stream_index < 0) throw std::runtime_error("invalid or unsupported " + name + " file");
    return carrier;
}

// What the carrier's header says of the samples it holds.
struct CarrierLayout {
    int sample_rate = 0;
    // Frame positions count samples, so a lost frame shows as a gap.
    bool per_sample_clock = false;
    // The length the file declares, in samples per channel; 0 when it declares none.
    std::int64_t declared = 0;
    // FLAC's MD5 signature of the samples; all zero when there is none.
    std::array<std::uint8_t, 16> signature{};
};

// Refuses a carrier that cannot hold a DTS-CD and fills in the format fields of `analysis`.
CarrierLayout check_carrier(const OpenCarrier& carrier, CarrierFormat format, InputAnalysis& analysis) {
    const AVStream& stream = carrier.stream();
    const AVCodecParameters& parameters = *stream.codecpar;
    // FFmpeg's FLAC demuxer leaves the format to its parser; STREAMINFO (the extradata) holds it.
    CarrierLayout layout;
    layout.sample_rate = parameters.sample_rate;
    int channels = parameters.ch_layout.nb_channels;
    int bits = parameters.bits_per_coded_sample;
    if (format == CarrierFormat::Flac) {
        if (parameters.extradata_size < 34) throw std::runtime_error("invalid or unsupported FLAC file");
        const std::uint8_t* info = parameters.extradata;
        layout.sample_rate = info[10] << 12 | info[11] << 4 | info[12] >> 4;
        channels = ((info[12] >> 1) & 0x7) + 1;
        bits = ((info[12] & 0x1) << 4 | info[13] >> 4) + 1;
        // STREAMINFO bytes 18 to 33; zero means none.
        std::memcpy(layout.signature.data(), info + 18, layout.signature.size());
    }
    // A DTS-CD is 16-bit stereo at 44.1 kHz (48 kHz in DTS-in-WAV files); any other carrier holds
    // ordinary audio, refused as a WAV of it would be.
    if ((layout.sample_rate != 44100 && layout.sample_rate != 48000) || channels != 2 || bits != 16) {
        throw std::runtime_error("no valid DTS sync word was detected");
    }
    analysis.has_pcm_carrier = true;
    analysis.carrier_format = format;
    analysis.sample_rate = static_cast<std::uint32_t>(layout.sample_rate);
    analysis.bits_per_sample = 16;
    analysis.channels = 2;
    analysis.carrier_tags = carrier_tags(carrier.input->metadata);
    analysis.carrier_tags.picture = carrier_cover(*carrier.input);
    layout.per_sample_clock = stream.time_base.num == 1 && stream.time_base.den == layout.sample_rate;
    layout.declared = layout.per_sample_clock && stream.duration > 0 ? stream.duration : 0;
    return layout;
}

// Room for the samples, taken before any is decoded: the whole declared length, refused before it is
// taken when it exceeds `limit`; without a declared length, `limit` itself, of which only what the
// samples fill is ever backed (a buffer grown by copying would need half as much again at its peak).
SampleBuffer sample_buffer(const CarrierLayout& layout, CarrierFormat format, std::uint64_t limit) {
    SampleBuffer samples;
    samples.too_long = std::string(format_name(format)) + " carrier decodes to more than " + size_text(limit) +
                       ": longer than any CD rip";
    const auto declared = static_cast<std::uint64_t>(layout.declared);
    if (declared > limit / 4) throw std::runtime_error(samples.too_long);
    samples.memory = allocate_file_bytes(std::max<std::uint64_t>(declared > 0 ? declared * 4 : limit, 1));
    return samples;
}

CodecContextHandle open_decoder(const AVCodecParameters& parameters, const std::string& name) {
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

// Decodes every frame into `samples`, checking each as it comes and the whole at the end.
class VerifiedDecode {
public:
    VerifiedDecode(OpenCarrier& carrier, const CarrierLayout& layout, CarrierFormat format, SampleBuffer& samples)
        : carrier_(carrier), layout_(layout), name_(format_name(format)), samples_(samples),
          decoder_(open_decoder(*carrier.stream().codecpar, name_)), md5_(av_md5_alloc()),
          packet_(av_packet_alloc()), frame_(av_frame_alloc()) {
        if (!md5_ || !packet_ || !frame_) throw std::bad_alloc();
        av_md5_init(md5_.get());
    }

    // True when the samples matched the carrier's MD5 signature; false when it has none.
    bool run() {
        for (;;) {
            check_interruption();
            const int result = av_read_frame(carrier_.input.get(), packet_.get());
            carrier_.rethrow_read_failure();
            if (result == AVERROR_EOF) break;
            if (result < 0) throw damaged("unreadable after sample " + std::to_string(decoded_));
            if (packet_->stream_index == carrier_.stream_index) {
                // Each frame carries its position: a frame lost in demuxing shows as a gap.
                if (packet_->pts != AV_NOPTS_VALUE && layout_.per_sample_clock && packet_->pts != decoded_) {
                    throw damaged("samples missing at sample " + std::to_string(decoded_));
                }
                if (avcodec_send_packet(decoder_.get(), packet_.get()) < 0) throw corrupt_frame();
                receive_frames();
            }
            av_packet_unref(packet_.get());
        }
        avcodec_send_packet(decoder_.get(), nullptr);
        receive_frames();
        if (layout_.declared > 0 && decoded_ != layout_.declared) {
            throw damaged("ends after " + std::to_string(decoded_) + " of " + std::to_string(layout_.declared) +
                          " samples");
        }
        if (!has_signature()) return false;
        std::array<std::uint8_t, 16> digest{};
        av_md5_final(md5_.get(), digest.data());
        if (digest != layout_.signature) throw damaged("MD5 mismatch");
        return true;
    }

private:
    std::runtime_error damaged(const std::string& what) const {
        return std::runtime_error(name_ + " carrier is damaged: " + what);
    }
    std::runtime_error corrupt_frame() const {
        return damaged("frame at sample " + std::to_string(decoded_) + " is corrupt");
    }
    bool has_signature() const { return layout_.signature != std::array<std::uint8_t, 16>{}; }

    void receive_frames() {
        for (;;) {
            const int result = avcodec_receive_frame(decoder_.get(), frame_.get());
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return;
            if (result < 0 || (frame_->format != AV_SAMPLE_FMT_S16 && frame_->format != AV_SAMPLE_FMT_S16P) ||
                frame_->ch_layout.nb_channels != 2 || frame_->sample_rate != layout_.sample_rate) {
                throw corrupt_frame();
            }
            if (layout_.declared > 0 && decoded_ + frame_->nb_samples > layout_.declared) {
                throw damaged("more samples than the " + std::to_string(layout_.declared) + " declared");
            }
            const std::uint64_t start = samples_.used;
            append_samples(*frame_, samples_);
            if (has_signature()) {
                const auto count = static_cast<std::size_t>(samples_.used - start);
                av_md5_update(md5_.get(), samples_.bytes().data() + start, count);
            }
            decoded_ += frame_->nb_samples;
            av_frame_unref(frame_.get());
            check_sync_once();
        }
    }

    // Only the first 1 MiB after any leading silence is ever searched: music is refused without
    // decoding the rest.
    void check_sync_once() {
        if (sync_checked_) return;
        silence_ = leading_silence(samples_.bytes(), silence_);
        if (samples_.used - silence_ < kInputSyncScanLimit) return;
        sync_checked_ = true;
        if (find_payload_sync(samples_.bytes()).first == DtsPacking::Unknown) {
            throw std::runtime_error("no valid DTS sync word was detected");
        }
    }

    OpenCarrier& carrier_;
    const CarrierLayout& layout_;
    const std::string name_;
    SampleBuffer& samples_;
    CodecContextHandle decoder_;
    Md5Handle md5_;
    PacketHandle packet_;
    FrameHandle frame_;
    std::int64_t decoded_ = 0;
    bool sync_checked_ = false;
    std::uint64_t silence_ = 0;  // zero bytes the samples begin with
};

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
                             InputAnalysis& analysis, std::uint64_t limit) {
    OpenCarrier carrier = open_carrier(format, size, read_at);
    const CarrierLayout layout = check_carrier(carrier, format, analysis);
    SampleBuffer samples = sample_buffer(layout, format, limit);
    analysis.md5_verified = VerifiedDecode(carrier, layout, format, samples).run();
    analysis.payload = Payload(std::move(samples.memory), 0, samples.used);
}

}  // namespace orvane
