#include "medialib/InputGuard.h"

#include "medialib/Reporter.h"

namespace tq9media {

void InputGuard::SetBudget(std::chrono::milliseconds time, int64_t bytes)
{
    m_deadline = std::chrono::steady_clock::now() + time;
    m_byteLimit = BytesRead() + bytes;
}

void InputGuard::Attach(AVFormatContext* ctx)
{
    m_ctx = ctx;
    ctx->interrupt_callback.callback = &InputGuard::OnInterrupt;
    ctx->interrupt_callback.opaque = this;
}

int64_t InputGuard::BytesRead() const
{
    return m_ctx && m_ctx->pb ? m_ctx->pb->bytes_read : 0;
}

int InputGuard::OnInterrupt(void* self)
{
    return static_cast<InputGuard*>(self)->ShouldStop() ? 1 : 0;
}

bool InputGuard::ShouldStop()
{
    if (m_reason != Reason::None)
        return true;
    const auto now = std::chrono::steady_clock::now();
    if (m_reporter && now - m_lastPoll >= kPollInterval) {
        m_lastPoll = now;
        m_reporter->Poll();
    }
    const int64_t bytes = BytesRead();
    if (m_reporter && m_reporter->StopRequested())
        m_reason = Reason::Stopped;
    else if (bytes - m_bytesAtPacket > kGapBytes)
        m_reason = Reason::NoPackets;
    else if (now >= m_deadline)
        m_reason = Reason::OutOfTime;
    else if (m_byteLimit >= 0 && bytes > m_byteLimit)
        m_reason = Reason::OutOfBytes;
    return m_reason != Reason::None;
}

int InputGuard::Read(AVPacket* packet)
{
    const int rc = av_read_frame(m_ctx, packet);
    if (rc >= 0) {
        m_bytesAtPacket = BytesRead();
        return rc;
    }
    if (m_reason == Reason::None)
        return rc;
    // A demuxer may turn the interrupt into another error (a short read): the guard's reason stands.
    return m_reason == Reason::Stopped ? AVERROR(ECANCELED) : AVERROR_EOF;
}

} // namespace tq9media
