// Internal to the media library: a thread that works through queued frames in order, a few behind its
// caller, so that its work overlaps the caller's. A null frame is the end: the work gets it, then the
// thread ends.
#pragma once

#include "medialib/Ffmpeg.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace tq9media {

class FrameThread {
public:
    using Work = std::function<void(AVFrame* frame)>; // runs on the thread; may take the frame's data
    // depth: frames queued at most before Push waits.
    FrameThread(size_t depth, Work work);
    // Stops without working through what is left (the run failed or was stopped).
    ~FrameThread();
    FrameThread(const FrameThread&) = delete;
    FrameThread& operator=(const FrameThread&) = delete;

    // Queues one frame, waiting while the queue is full. Rethrows what the work failed with.
    void Push(FramePtr frame);
    // Queues the end and waits until the work has done it; onProgress (optional) runs on the caller's thread
    // each time the work calls Progress meanwhile, as its stop check. Rethrows what the work failed with.
    void Finish(const std::function<void()>& onProgress = {});
    // For the work while it ends: one step done. False when the thread is being stopped.
    bool Progress();

private:
    void Loop();

    size_t m_depth;
    Work m_work;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<FramePtr> m_queue; // a null frame: the end
    bool m_abort = false;
    bool m_done = false;
    int64_t m_progress = 0;
    std::exception_ptr m_error;
    std::thread m_thread;
};

} // namespace tq9media
