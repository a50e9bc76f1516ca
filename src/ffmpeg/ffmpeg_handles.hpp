#pragma once

// Owning handles for FFmpeg objects, so every exit path releases what was obtained.

#include <cstdint>
#include <memory>
#include <span>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/buffer.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libavutil/md5.h>
#include <libavutil/mem.h>
}

namespace orvane {

struct ParserCloser {
    void operator()(AVCodecParserContext* parser) const { av_parser_close(parser); }
};
struct CodecContextFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
// Frees the context only; a file the caller opened with avio_open is closed separately.
struct FormatContextFreer {
    void operator()(AVFormatContext* context) const { avformat_free_context(context); }
};

// An opened input (avformat_open_input); a custom I/O context given to it stays the caller's.
struct InputContextCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
// A custom I/O context and its buffer (which FFmpeg may have replaced while reading).
struct IoContextFreer {
    void operator()(AVIOContext* context) const {
        av_freep(&context->buffer);
        avio_context_free(&context);
    }
};
// A file opened for writing with avio_open; closing it, where a late write error shows, is
// close_io_file's.
struct IoFileCloser {
    void operator()(AVIOContext* context) const { avio_closep(&context); }
};
struct DictionaryFreer {
    void operator()(AVDictionary* dictionary) const { av_dict_free(&dictionary); }
};
struct BufferRefUnref {
    void operator()(AVBufferRef* ref) const { av_buffer_unref(&ref); }
};
// Memory from av_malloc and objects FFmpeg allocates that way (an AVMD5).
struct MemoryFreer {
    void operator()(void* memory) const { av_free(memory); }
};

using ParserHandle = std::unique_ptr<AVCodecParserContext, ParserCloser>;
using CodecContextHandle = std::unique_ptr<AVCodecContext, CodecContextFreer>;
using PacketHandle = std::unique_ptr<AVPacket, PacketFreer>;
using FrameHandle = std::unique_ptr<AVFrame, FrameFreer>;
using FormatContextHandle = std::unique_ptr<AVFormatContext, FormatContextFreer>;
using InputContextHandle = std::unique_ptr<AVFormatContext, InputContextCloser>;
using IoContextHandle = std::unique_ptr<AVIOContext, IoContextFreer>;
using IoFileHandle = std::unique_ptr<AVIOContext, IoFileCloser>;
using DictionaryHandle = std::unique_ptr<AVDictionary, DictionaryFreer>;
using BufferRefHandle = std::unique_ptr<AVBufferRef, BufferRefUnref>;
using MemoryHandle = std::unique_ptr<std::uint8_t, MemoryFreer>;
using Md5Handle = std::unique_ptr<AVMD5, MemoryFreer>;

// Closes the file and returns avio_closep's result (0 when none is open).
inline int close_io_file(IoFileHandle& file) {
    AVIOContext* context = file.release();
    return context != nullptr ? avio_closep(&context) : 0;
}

// A read-only FFmpeg buffer over bytes that outlive it and stay their owner's: packets referring to
// it reach FFmpeg without a copy, and the read-only flag makes FFmpeg copy rather than write into
// them. Empty when the allocation fails.
inline BufferRefHandle borrowed_buffer(std::span<const std::uint8_t> bytes) {
    const auto keep = [](void*, std::uint8_t*) {};
    return BufferRefHandle(av_buffer_create(const_cast<std::uint8_t*>(bytes.data()), bytes.size(), keep, nullptr,
                                            AV_BUFFER_FLAG_READONLY));
}

// A channel layout released when it goes out of scope; it is an AVChannelLayout wherever one is taken.
struct OwnedChannelLayout : AVChannelLayout {
    OwnedChannelLayout() : AVChannelLayout{} {}
    OwnedChannelLayout(const OwnedChannelLayout&) = delete;
    OwnedChannelLayout& operator=(const OwnedChannelLayout&) = delete;
    ~OwnedChannelLayout() { av_channel_layout_uninit(this); }
};

}  // namespace orvane
