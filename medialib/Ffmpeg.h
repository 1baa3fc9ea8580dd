// Internal to the media library: the FFmpeg headers, RAII owners for FFmpeg handles, the library's error type
// and the debug log. Nothing outside medialib includes this file.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/avstring.h>
#include <libavutil/avutil.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <stdexcept>
#include <string>

namespace tq9media {

// ---- RAII owners: each handle type with the FFmpeg function that frees it ----

struct InputContextFree {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextFree>;

// An output context owns its I/O context unless the muxer opens files itself (AVFMT_NOFILE).
struct OutputContextFree {
    void operator()(AVFormatContext* c) const
    {
        if (c->oformat && !(c->oformat->flags & AVFMT_NOFILE))
            avio_closep(&c->pb);
        avformat_free_context(c);
    }
};
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextFree>;

struct CodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;

struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;

struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

struct FilterGraphFree {
    void operator()(AVFilterGraph* g) const { avfilter_graph_free(&g); }
};
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphFree>;

struct FilterInOutFree {
    void operator()(AVFilterInOut* io) const { avfilter_inout_free(&io); }
};
using FilterInOutPtr = std::unique_ptr<AVFilterInOut, FilterInOutFree>;

struct SwrFree {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
using SwrPtr = std::unique_ptr<SwrContext, SwrFree>;

struct SwsFree {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
using SwsPtr = std::unique_ptr<SwsContext, SwsFree>;

struct AudioFifoFree {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoFree>;

// An AVDictionary*; av_dict_set on Address() is the usual way to fill it.
class Dictionary {
public:
    Dictionary() = default;
    ~Dictionary() { av_dict_free(&m_dict); }
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;
    AVDictionary** Address() { return &m_dict; }
    void Set(const char* key, const char* value) { av_dict_set(&m_dict, key, value, 0); }

private:
    AVDictionary* m_dict = nullptr;
};

inline FramePtr MakeFrame()
{
    FramePtr f(av_frame_alloc());
    if (!f)
        throw std::bad_alloc();
    return f;
}

inline PacketPtr MakePacket()
{
    PacketPtr p(av_packet_alloc());
    if (!p)
        throw std::bad_alloc();
    return p;
}

// ---- Errors: an FFmpeg-style negative status travelling up to the C boundary ----

class MediaError : public std::runtime_error {
public:
    MediaError(int status, const std::string& what) : std::runtime_error(what), m_status(status < 0 ? status : AVERROR_BUG) {}
    int Status() const { return m_status; }

private:
    int m_status;
};

// Throws MediaError(status, what + FFmpeg's text) when status is negative; returns it otherwise.
int Check(int status, const char* what);

std::string ErrorText(int status);

// ---- Log: FFmpeg's and ours, silent unless TQ9_DEBUG=1 ----

// Sets FFmpeg's log level once per process (quiet, or verbose with TQ9_DEBUG=1).
void InitLibrary();

// Debug message on stderr when TQ9_DEBUG=1 (through av_log, so it follows the same switch).
void DebugLog(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// "file:" + path, so that no path is ever taken for a protocol ("http:...", "concat:...") and a name with
// a colon in it still opens as a file.
std::string FileUrl(const std::string& path);

// Runs f (returning a status) at the C boundary: whatever it throws becomes a status, nothing unwinds
// into the caller.
template <typename F>
int StatusOf(F&& f)
{
    try {
        return f();
    } catch (const MediaError& e) {
        DebugLog("%s", e.what());
        return e.Status();
    } catch (const std::bad_alloc&) {
        return AVERROR(ENOMEM);
    } catch (...) {
        return AVERROR_BUG;
    }
}

} // namespace tq9media
