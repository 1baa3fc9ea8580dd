// The worker's priority: lowered ten nice steps (still the normal class) for the desktop program's
// dialog, as started for a command-line run; threads the worker starts inherit it.
#include "jobs/JobBase.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <sched.h>
#include <thread>

using namespace tq9;

namespace {

int NiceOfThisThread()
{
    return getpriority(PRIO_PROCESS, gettid());
}

// Records the worker's scheduling class and nice, and those of a thread the worker starts.
class PriorityProbeJob : public CJobBase {
public:
    int policy = -1;
    int nice = -100;
    int childNice = -100;

    int Run(IProgressFrontEnd& frontEnd) { return StartWorkerAndWait(frontEnd); }
    int GetFileCount() override { return 1; }
    int GetPercent() override { return 0; }
    std::string GetCurrentFileName() override { return {}; }

protected:
    void WorkerMain() override
    {
        policy = sched_getscheduler(0);
        nice = NiceOfThisThread();
        std::thread([this] { childNice = NiceOfThisThread(); }).join();
        SetState(STATE_DONE);
    }
};

class PollingFrontEnd : public IProgressFrontEnd {
public:
    explicit PollingFrontEnd(bool lower) : m_lower(lower) {}
    int RunModal(IConvProgress& job) override
    {
        while (job.GetState() == STATE_RUNNING)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return FRONTEND_FINISHED;
    }
    bool LowersWorkerPriority() const override { return m_lower; }

private:
    bool m_lower;
};

} // namespace

TEST(JobPriorityTest, TheDialogsWorkerIsTenStepsNicerInTheNormalClassAndACommandLineRunKeepsItsOwn)
{
    const int own = NiceOfThisThread();
    {
        PriorityProbeJob job;
        PollingFrontEnd dialog(true);
        EXPECT_EQ(job.Run(dialog), FRONTEND_FINISHED);
        EXPECT_EQ(job.policy, SCHED_OTHER); // not the idle class, which starves under load
        EXPECT_EQ(job.nice, std::min(own + 10, 19));
        EXPECT_EQ(job.childNice, job.nice);
    }
    {
        PriorityProbeJob job;
        PollingFrontEnd commandLine(false);
        EXPECT_EQ(job.Run(commandLine), FRONTEND_FINISHED);
        EXPECT_EQ(job.policy, SCHED_OTHER);
        EXPECT_EQ(job.nice, own);
    }
    EXPECT_EQ(NiceOfThisThread(), own); // the caller's thread is untouched
}
