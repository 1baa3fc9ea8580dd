// Front-ends for the job tests: one that waits for the worker as the dialog does, one that presses Cancel.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include "jobs/ProgressFrontEnd.h"

namespace tq9test {

using tq9::CancelJob;
using tq9::FRONTEND_CANCELED;
using tq9::FRONTEND_FINISHED;
using tq9::IConvProgress;
using tq9::IProgressFrontEnd;
using tq9::STATE_RUNNING;

// Waits for the worker like the dialog does, and keeps the state it ended in (what the ending line shows).
class WaitingFrontEnd : public IProgressFrontEnd {
public:
    int endState = STATE_RUNNING;
    int RunModal(IConvProgress& job) override
    {
        while ((endState = job.GetState()) == STATE_RUNNING)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return FRONTEND_FINISHED;
    }
};

// Presses Cancel as soon as the condition holds.
class CancellingFrontEnd : public IProgressFrontEnd {
public:
    explicit CancellingFrontEnd(std::function<bool(IConvProgress&)> when) : m_when(std::move(when)) {}
    int RunModal(IConvProgress& job) override
    {
        while (!m_when(job) && job.GetState() == STATE_RUNNING)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        CancelJob(job);
        return FRONTEND_CANCELED;
    }

private:
    std::function<bool(IConvProgress&)> m_when;
};

} // namespace tq9test
