#include "medialib/EncoderThread.h"

namespace tq9media {

EncoderThread::EncoderThread(AVCodecContext* encoder, size_t depth, const char* what, Sink sink)
    : m_encoder(encoder), m_what(what), m_sink(std::move(sink)), m_thread(depth, [this](AVFrame* f) { Encode(f); })
{
}

void EncoderThread::Encode(const AVFrame* frame)
{
    Check(avcodec_send_frame(m_encoder, frame), m_what);
    for (;;) {
        const int rc = avcodec_receive_packet(m_encoder, m_packet.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return;
        Check(rc, m_what);
        m_sink(m_packet.get());
        if (!frame && !m_thread.Progress())
            return;
    }
}

} // namespace tq9media
