#include "jobs/DragOutExport.h"

#include <chrono>

#include "jobs/ProgressFrontEnd.h"

namespace tq9 {

// Waits on the export thread for the job's worker, and passes a cancel asked for elsewhere on to the job.
class CDragOutExport::QuietFrontEnd : public IProgressFrontEnd {
public:
    explicit QuietFrontEnd(CDragOutExport& owner) : m_owner(owner) {}
    int RunModal(IConvProgress& job) override
    {
        {
            std::lock_guard<std::mutex> lock(m_owner.m_lock);
            m_owner.m_running = &job;
            m_owner.m_fileCount = job.GetFileCount();
        }
        while (job.GetState() == STATE_RUNNING && !m_owner.m_cancel.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        // A cancel may already have left its mark on the job's state (Cancel passes it on).
        int code = FRONTEND_FINISHED;
        if (m_owner.m_cancel.load()) {
            CancelJob(job);
            code = FRONTEND_CANCELED;
        }
        std::lock_guard<std::mutex> lock(m_owner.m_lock);
        m_owner.m_running = nullptr;
        return code;
    }
    // The drag goes on meanwhile, and the user may work in the window.
    bool LowersWorkerPriority() const override { return true; }

private:
    CDragOutExport& m_owner;
};

CDragOutExport::CDragOutExport(CDragOutSource& files, CDragOutSource::IExport& job)
    : m_files(files)
    , m_job(job)
{
}

CDragOutExport::~CDragOutExport()
{
    Cancel();
    Wait();
}

void CDragOutExport::Start(std::function<void()> ended)
{
    m_thread = std::thread([this, ended = std::move(ended)] {
        QuietFrontEnd frontEnd(*this);
        m_result = m_cancel.load() ? 1 : m_files.Export(m_job, frontEnd);
        m_ended.store(true);
        if (ended)
            ended();
    });
}

void CDragOutExport::Cancel()
{
    if (m_ended.load())
        return;
    m_cancel.store(true);
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_running)
        CancelJob(*m_running);
}

bool CDragOutExport::Running() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_running != nullptr;
}

void CDragOutExport::Wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

int CDragOutExport::GetFileCount()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_running ? m_running->GetFileCount() : m_fileCount;
}

int CDragOutExport::GetFileIndex()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_running)
        return m_running->GetFileIndex();
    return m_ended.load() ? m_fileCount : 0;
}

int CDragOutExport::GetPercent()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_running)
        return m_running->GetPercent();
    return m_ended.load() ? 100 : 0;
}

std::string CDragOutExport::GetCurrentFileName()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_running ? m_running->GetCurrentFileName() : std::string();
}

int CDragOutExport::GetState()
{
    // Running until the export has returned: the hand-over names are given after the job's worker.
    if (!m_ended.load())
        return STATE_RUNNING;
    return m_result == 0 ? STATE_DONE : m_result == 1 ? STATE_CANCELED : STATE_FAILED;
}

void CDragOutExport::SetState(int state)
{
    if (state == STATE_CANCELED)
        Cancel();
}

} // namespace tq9
