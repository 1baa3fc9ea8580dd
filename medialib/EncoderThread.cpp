#include "medialib/EncoderThread.h"

namespace tq9media {

EncoderThread::EncoderThread(AVCodecContext* encoder, size_t depth, const char* what, Sink sink)
    : m_encoder(encoder), m_depth(depth), m_what(what), m_sink(std::move(sink))
{
    m_thread = std::thread([this] { Loop(); });
}

EncoderThread::~EncoderThread()
{
    {
        std::lock_guard lock(m_mutex);
        m_abort = true;
        m_changed.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
}

void EncoderThread::Push(FramePtr frame)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_done || m_queue.size() < m_depth; });
    if (m_error)
        std::rethrow_exception(m_error);
    if (m_done)
        throw MediaError(AVERROR_BUG, "encoder already finished");
    m_queue.push_back(std::move(frame));
    m_changed.notify_all();
}

void EncoderThread::Finish(const std::function<void()>& onFlushedPacket)
{
    Push(nullptr);
    for (int64_t seen = 0;;) {
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] { return m_done || m_flushedPackets != seen; });
            if (m_done)
                break;
            seen = m_flushedPackets;
        }
        if (onFlushedPacket)
            onFlushedPacket();
    }
    m_thread.join();
    if (m_error)
        std::rethrow_exception(m_error);
}

void EncoderThread::Loop()
{
    std::exception_ptr error;
    try {
        for (;;) {
            FramePtr frame;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [this] { return m_abort || !m_queue.empty(); });
                if (m_abort)
                    break;
                frame = std::move(m_queue.front());
                m_queue.pop_front();
                m_changed.notify_all();
            }
            Encode(frame.get());
            if (!frame)
                break;
        }
    } catch (...) {
        error = std::current_exception();
    }
    std::lock_guard lock(m_mutex);
    m_error = error;
    m_done = true;
    m_changed.notify_all();
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
        if (!frame) {
            std::lock_guard lock(m_mutex);
            if (m_abort)
                return;
            ++m_flushedPackets;
            m_changed.notify_all();
        }
    }
}

} // namespace tq9media
