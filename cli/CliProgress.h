// The command-line front-end of a job: progress on stderr while the worker runs, and Ctrl-C (SIGINT or
// SIGTERM) as the Cancel button. On a terminal one line is redrawn in place; otherwise a plain line is
// written at most once a second.
//
// The signal handlers only raise an atomic flag and write to an eventfd; the cancel itself runs on the
// thread that called RunModal. One instance at a time; it installs its handlers for its lifetime.
#pragma once

#include <chrono>
#include <string>

#include "jobs/ProgressFrontEnd.h"
#include "jobs/TimeLeft.h"

namespace tq9::cli {

class CCliProgress : public IProgressFrontEnd {
public:
    // finishedAfterJob: the line of a job that ended well leaves out "finished successfully", which
    // the command prints with ShowFinished once it knows that no file was left out.
    explicit CCliProgress(bool finishedAfterJob = false);
    ~CCliProgress() override;
    CCliProgress(const CCliProgress&) = delete;
    CCliProgress& operator=(const CCliProgress&) = delete;

    int RunModal(IConvProgress& job) override;
    void WorkerEnded() override;

    // The line that says the run waits for another one writing into folder.
    static std::string LockWaitText(const std::string& folder);

    // Prints the "finished successfully" line.
    void ShowFinished();

    // True once the user asked to stop (a signal arrived).
    bool Interrupted() const;

private:
    void Show(IConvProgress& job, int state, bool last);

    bool m_terminal = false;
    std::string m_lastLine;
    std::chrono::steady_clock::time_point m_lastPrint{};
    bool m_printed = false;
    bool m_finishedAfterJob = false;
    CTimeLeft m_timeLeft; // from the front-end's start, which is the job's
};

} // namespace tq9::cli
