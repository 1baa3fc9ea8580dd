#include "medialib/FrameThread.h"

namespace tq9media {

FrameThread::FrameThread(size_t depth, Work work) : m_depth(depth), m_work(std::move(work))
{
    m_thread = std::thread([this] { Loop(); });
}

FrameThread::~FrameThread()
{
    {
        std::lock_guard lock(m_mutex);
        m_abort = true;
        m_changed.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
}

void FrameThread::Push(FramePtr frame)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_done || m_queue.size() < m_depth; });
    if (m_error)
        std::rethrow_exception(m_error);
    if (m_done)
        throw MediaError(AVERROR_BUG, "frame thread already finished");
    m_queue.push_back(std::move(frame));
    m_changed.notify_all();
}

void FrameThread::Finish(const std::function<void()>& onProgress)
{
    Push(nullptr);
    for (int64_t seen = 0;;) {
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] { return m_done || m_progress != seen; });
            if (m_done)
                break;
            seen = m_progress;
        }
        if (onProgress)
            onProgress();
    }
    m_thread.join();
    if (m_error)
        std::rethrow_exception(m_error);
}

bool FrameThread::Progress()
{
    std::lock_guard lock(m_mutex);
    if (m_abort)
        return false;
    ++m_progress;
    m_changed.notify_all();
    return true;
}

void FrameThread::Loop()
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
            m_work(frame.get());
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

} // namespace tq9media
