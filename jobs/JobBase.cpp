#include "jobs/JobBase.h"

#include <pthread.h>
#include <sched.h>

#include <system_error>
#include <thread>

namespace tq9 {

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
        worker = std::thread([this] {
            // Idle class: the conversion must not make the desktop sluggish. A system that refuses it
            // (container policies) still gets the work done at normal priority.
            sched_param param{};
            param.sched_priority = 0;
            pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
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
