// Internal to the media library: an encoder fed on a thread of its own, a few frames behind the caller, so
// that encoding overlaps decoding and resampling. The thread sends each queued frame, takes the packets and
// hands them to the sink (which writes them). Frames reach the encoder in the order they were queued, so
// the packets are the same as when the caller encodes them itself.
#pragma once

#include "medialib/FrameThread.h"

namespace tq9media {

class EncoderThread {
public:
    using Sink = std::function<void(AVPacket*)>; // runs on the encoder's thread
    // encoder: opened; belongs to the thread until Finish returns or this is destroyed.
    EncoderThread(AVCodecContext* encoder, size_t depth, const char* what, Sink sink);

    // Queues one frame, waiting while the queue is full. Rethrows what the thread failed with.
    void Push(FramePtr frame) { m_thread.Push(std::move(frame)); }
    // Drains the encoder and waits for its last packet; onFlushedPacket (optional) runs on the caller's
    // thread after each packet of the drain, as its stop check. Rethrows what the thread failed with.
    void Finish(const std::function<void()>& onFlushedPacket = {}) { m_thread.Finish(onFlushedPacket); }

private:
    void Encode(const AVFrame* frame);

    AVCodecContext* m_encoder;
    const char* m_what;
    Sink m_sink;
    PacketPtr m_packet = MakePacket();
    FrameThread m_thread; // last: it starts using the above at once, and stops (without draining) first
};

} // namespace tq9media
