#pragma once

// Owning handles for FFmpeg objects, so every exit path releases what was obtained.

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
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
struct DictionaryFreer {
    void operator()(AVDictionary* dictionary) const { av_dict_free(&dictionary); }
};
struct Md5Freer {
    void operator()(AVMD5* md5) const { av_free(md5); }
};

using ParserHandle = std::unique_ptr<AVCodecParserContext, ParserCloser>;
using CodecContextHandle = std::unique_ptr<AVCodecContext, CodecContextFreer>;
using PacketHandle = std::unique_ptr<AVPacket, PacketFreer>;
using FrameHandle = std::unique_ptr<AVFrame, FrameFreer>;
using FormatContextHandle = std::unique_ptr<AVFormatContext, FormatContextFreer>;
using InputContextHandle = std::unique_ptr<AVFormatContext, InputContextCloser>;
using IoContextHandle = std::unique_ptr<AVIOContext, IoContextFreer>;
using DictionaryHandle = std::unique_ptr<AVDictionary, DictionaryFreer>;
using Md5Handle = std::unique_ptr<AVMD5, Md5Freer>;

// A channel layout value that is always uninitialised when it goes out of scope.
struct ChannelLayoutHolder {
    AVChannelLayout layout{};
    ChannelLayoutHolder() = default;
    ChannelLayoutHolder(const ChannelLayoutHolder&) = delete;
    ChannelLayoutHolder& operator=(const ChannelLayoutHolder&) = delete;
    ~ChannelLayoutHolder() { av_channel_layout_uninit(&layout); }
};

}  // namespace orvane
