// Internal to the media library: an encoder fed on a thread of its own, a few frames behind the caller, so
// that encoding overlaps decoding and resampling. The thread sends each queued frame, takes the packets and
// hands them to the sink (which writes them). Frames reach the encoder in the order they were queued, so
// the packets are the same as when the caller encodes them itself.
#pragma once

#include "medialib/Ffmpeg.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace tq9media {

class EncoderThread {
public:
    using Sink = std::function<void(AVPacket*)>; // runs on the encoder's thread
    // encoder: opened; belongs to the thread until Finish returns or this is destroyed.
    EncoderThread(AVCodecContext* encoder, size_t depth, const char* what, Sink sink);
    // Stops without draining (the run failed or was stopped).
    ~EncoderThread();
    EncoderThread(const EncoderThread&) = delete;
    EncoderThread& operator=(const EncoderThread&) = delete;

    // Queues one frame, waiting while the queue is full. Rethrows what the thread failed with.
    void Push(FramePtr frame);
    // Drains the encoder and waits for its last packet; onFlushedPacket (optional) runs on the caller's
    // thread after each packet of the drain, as its stop check. Rethrows what the thread failed with.
    void Finish(const std::function<void()>& onFlushedPacket = {});

private:
    void Loop();
    void Encode(const AVFrame* frame);

    AVCodecContext* m_encoder;
    size_t m_depth;
    const char* m_what;
    Sink m_sink;
    PacketPtr m_packet = MakePacket();
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<FramePtr> m_queue; // a null frame: drain
    bool m_abort = false;
    bool m_done = false;
    int64_t m_flushedPackets = 0;
    std::exception_ptr m_error;
    std::thread m_thread;
};

} // namespace tq9media
