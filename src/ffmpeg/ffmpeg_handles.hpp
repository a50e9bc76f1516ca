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

// Deleters calling FFmpeg's release function: with the object's address (functions that also clear
// the pointer) or with the object itself.
template <auto Release>
struct ReleaseByAddress {
    template <typename T>
    void operator()(T* object) const { Release(&object); }
};
template <auto Release>
struct ReleaseObject {
    template <typename T>
    void operator()(T* object) const { Release(object); }
};

// A custom I/O context and its buffer (which FFmpeg may have replaced while reading).
struct IoContextFreer {
    void operator()(AVIOContext* context) const {
        av_freep(&context->buffer);
        avio_context_free(&context);
    }
};

using ParserHandle = std::unique_ptr<AVCodecParserContext, ReleaseObject<av_parser_close>>;
using CodecContextHandle = std::unique_ptr<AVCodecContext, ReleaseByAddress<avcodec_free_context>>;
using PacketHandle = std::unique_ptr<AVPacket, ReleaseByAddress<av_packet_free>>;
using FrameHandle = std::unique_ptr<AVFrame, ReleaseByAddress<av_frame_free>>;
// Frees the context only; a file it writes (avio_open) is an IoFileHandle of its own.
using FormatContextHandle = std::unique_ptr<AVFormatContext, ReleaseObject<avformat_free_context>>;
// An opened input (avformat_open_input); a custom I/O context given to it stays the caller's.
using InputContextHandle = std::unique_ptr<AVFormatContext, ReleaseByAddress<avformat_close_input>>;
using IoContextHandle = std::unique_ptr<AVIOContext, IoContextFreer>;
// A file opened for writing with avio_open; closing it, where a late write error shows, is
// close_io_file's.
using IoFileHandle = std::unique_ptr<AVIOContext, ReleaseByAddress<avio_closep>>;
using DictionaryHandle = std::unique_ptr<AVDictionary, ReleaseByAddress<av_dict_free>>;
using BufferRefHandle = std::unique_ptr<AVBufferRef, ReleaseByAddress<av_buffer_unref>>;
// Memory from av_malloc, and objects FFmpeg allocates that way (an AVMD5).
using MemoryHandle = std::unique_ptr<std::uint8_t, ReleaseObject<av_free>>;
using Md5Handle = std::unique_ptr<AVMD5, ReleaseObject<av_free>>;

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
