// The export of a drag whose data requests are held (Wayland): it starts when the drag starts and runs on a
// thread of its own behind a front-end that shows nothing, so the drag goes on while the files are made and
// the wait after the drop is only what is left. Once a target asks for the files, a dialog can show the
// export through this object's progress slots and cancel it there.
//
// Threads: Start, Cancel, Ended, Wait and the result on the user-interface thread; the progress slots on
// any thread (a dialog's). The export thread runs CDragOutSource::Export, so the drag's CDragOutSource is
// not to be touched between Start and Wait.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "jobs/ConvProgress.h"
#include "jobs/DragOutSource.h"

namespace tq9 {

class CDragOutExport : public IConvProgress {
public:
    CDragOutExport(CDragOutSource& files, CDragOutSource::IExport& job);
    ~CDragOutExport() override; // cancels and waits
    CDragOutExport(const CDragOutExport&) = delete;
    CDragOutExport& operator=(const CDragOutExport&) = delete;

    // Starts the export; ended (may be empty) is called on the export thread once it has returned.
    void Start(std::function<void()> ended = {});
    // Asks the export to stop; nothing of it stays (CDragOutSource::Export's cancel).
    void Cancel();
    // True while the job's worker runs (its progress is then worth showing).
    bool Running() const;
    bool Ended() const { return m_ended.load(); }
    // Waits for the export thread; then Result holds CDragOutSource::Export's result.
    void Wait();
    int Result() const { return m_result; }

    // IConvProgress: the job's while it runs; once the export has returned, its end (DONE, CANCELED or
    // FAILED). SetState(STATE_CANCELED) cancels.
    int GetFileCount() override;
    int GetFileCountMin() override { return 0; }
    int GetFileIndex() override;
    int GetPercentMax() override { return 100; }
    int GetPercentMin() override { return 0; }
    int GetPercent() override;
    std::string GetCurrentFileName() override;
    int GetState() override;
    void SetState(int state) override;

private:
    class QuietFrontEnd;

    CDragOutSource& m_files;
    CDragOutSource::IExport& m_job;
    std::thread m_thread;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_ended{false};
    int m_result = 0; // written by the export thread before m_ended

    mutable std::mutex m_lock;       // guards what follows
    IConvProgress* m_running = nullptr; // the job while its front-end runs
    int m_fileCount = 0;             // the job's, kept when it ends
};

} // namespace tq9
