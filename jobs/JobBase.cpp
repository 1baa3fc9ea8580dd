#include "jobs/JobBase.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include <system_error>
#include <thread>
#include <vector>

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

std::string CJobBase::GetWaitingFor()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_waitingFor;
}

void CJobBase::SetWaitingFor(const std::string& folder)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_waitingFor = folder;
}

PlacementProgress CJobBase::GetPlacement()
{
    // The total first: a front-end that sees the phase active also sees its size.
    const uint64_t total = m_placeTotal.load();
    return {m_placing.load(), std::min(m_placedBytes.load(), total), total};
}

void CJobBase::BeginPlacement(uint64_t total)
{
    m_placedBytes.store(0);
    m_placeTotal.store(total);
    m_placing.store(true);
}

void CJobBase::ResetRunFields()
{
    m_index.store(0);
    m_percent.store(0);
    m_placing.store(false);
    m_result = 0;
    SetState(STATE_RUNNING);
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

void CJobBase::PairedWorkerLoop(int count, int otherError, const std::function<bool(int)>& pairable,
                                const std::function<void(int, int)>& processEntry, const std::function<void()>& finish)
{
    std::atomic<bool> failed{false};
    int index = 0;
    for (;;) {
        m_index.store(index);
        if (failed.load()) {
            m_result = otherError;
            break;
        }
        if (GetState() != STATE_RUNNING) {
            m_result = JOB_RESULT_CANCELED;
            m_percent.store(100);
            break;
        }
        if (index >= count) {
            m_result = JOB_RESULT_DONE;
            m_percent.store(100);
            break;
        }
        m_percent.store(0);
        int end = index;
        while (end < count && pairable(end))
            ++end;
        if (end - index >= 2) {
            index = RunPaired(index, end, failed, processEntry);
            continue;
        }
        try {
            processEntry(index, 0);
            ++index;
        } catch (...) {
            failed.store(true);
        }
    }
    if (finish)
        finish();
    SetState(m_result == JOB_RESULT_CANCELED ? STATE_CANCELED
             : m_result == JOB_RESULT_DONE   ? STATE_DONE
                                             : STATE_FAILED);
}

int CJobBase::RunPaired(int begin, int end, std::atomic<bool>& failed,
                        const std::function<void(int, int)>& processEntry)
{
    std::atomic<int> next{begin};
    std::mutex finishedLock;
    std::vector<char> finished(static_cast<size_t>(end - begin), 0); // guarded by finishedLock
    int firstUnfinished = begin;                                      // guarded by finishedLock
    auto lane = [&](int laneNo) {
        while (!failed.load() && GetState() == STATE_RUNNING) {
            const int index = next.fetch_add(1);
            if (index >= end)
                return;
            try {
                processEntry(index, laneNo);
            } catch (...) {
                failed.store(true);
                return;
            }
            std::lock_guard<std::mutex> guard(finishedLock);
            finished[static_cast<size_t>(index - begin)] = 1;
            while (firstUnfinished < end && finished[static_cast<size_t>(firstUnfinished - begin)])
                ++firstUnfinished;
            m_index.store(firstUnfinished);
        }
    };
    std::thread second;
    try {
        second = std::thread(lane, 1);
    } catch (const std::system_error&) {
        // No second thread: lane 0 does the whole run.
    }
    lane(0);
    if (second.joinable())
        second.join();
    return firstUnfinished;
}

int CJobBase::StartWorkerAndWait(IProgressFrontEnd& frontEnd)
{
    SetState(STATE_RUNNING);
    std::thread worker;
    try {
        worker = std::thread([this, &frontEnd, lower = frontEnd.LowersWorkerPriority()] {
            if (lower)
                LowerCurrentThreadPriority();
            WorkerMain();
            frontEnd.WorkerEnded();
        });
    } catch (const std::system_error&) {
        return 0;
    }
    const int endCode = frontEnd.RunModal(*this);
    worker.join();
    return endCode;
}

} // namespace tq9
