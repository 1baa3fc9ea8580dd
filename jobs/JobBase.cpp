#include "jobs/JobBase.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include <system_error>
#include <thread>

namespace tq9 {

namespace {

// Ten nice steps below the caller, still in the normal class: the worker yields to the window, yet keeps
// progressing while other programs keep the CPU busy (the idle class gets no CPU at all then). Threads the
// worker starts (the media library's encoders and decoders) inherit it. A refusal leaves it as it was.
void LowerCurrentThreadPriority()
{
    const pid_t self = gettid();
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, self);
    if (nice == -1 && errno != 0)
        return;
    (void)setpriority(PRIO_PROCESS, self, std::min(nice + 10, 19));
}

} // namespace

int CJobBase::GetState()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_state;
}

void CJobBase::SetState(int state)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_state = state;
}

void CJobBase::ResetRunFields()
{
    m_index.store(0);
    m_percent.store(0);
    m_result = 0;
    SetState(STATE_RUNNING);
}

bool CJobBase::ConverterSucceeded(const CConverterState& converter)
{
    const int32_t result = converter.GetResult();
    return result >= 0 && result != kConverterCopyStopped;
}

int CJobBase::PercentFromConverter(const CConverterState& converter, int count)
{
    if (GetFileIndex() >= count)
        return m_percent.load();
    const auto progress = converter.GetProgress();
    const int percent =
        progress.total == 0 ? 0 : static_cast<int>(static_cast<double>(progress.position) / progress.total * 100.0);
    m_percent.store(percent);
    return percent;
}

int CJobBase::StartWorkerAndWait(IProgressFrontEnd& frontEnd)
{
    SetState(STATE_RUNNING);
    std::thread worker;
    try {
        worker = std::thread([this, lower = frontEnd.LowersWorkerPriority()] {
            if (lower)
                LowerCurrentThreadPriority();
            WorkerMain();
        });
    } catch (const std::system_error&) {
        return 0;
    }
    const int endCode = frontEnd.RunModal(*this);
    worker.join();
    return endCode;
}

} // namespace tq9
