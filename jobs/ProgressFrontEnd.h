// What shows a job's progress while its worker runs and lets the user cancel it: the Qt progress dialog
// and the command-line front-end implement this, so the GUI and tq9 drive a job the same way.
#pragma once

#include <string>

#include "jobs/ConvProgress.h"

namespace tq9 {

// RunModal's end codes.
constexpr int FRONTEND_FINISHED = 1; // the job left STATE_RUNNING by itself
constexpr int FRONTEND_CANCELED = 2; // the user cancelled

class IProgressFrontEnd {
public:
    virtual ~IProgressFrontEnd() = default;
    // Called on the user-interface thread after the job's worker has started. Polls job until it leaves
    // STATE_RUNNING (returns FRONTEND_FINISHED) or the user cancels (calls CancelJob, returns
    // FRONTEND_CANCELED). Must not wait for the worker itself.
    virtual int RunModal(IConvProgress& job) = 0;

    // True when the job's worker (and the threads it starts) should yield to the front-end: the desktop
    // program's dialog. A command-line run keeps the priority it was started with (users have nice).
    virtual bool LowersWorkerPriority() const { return false; }

    // Called on the worker's thread when it has ended (after the job's final state is stored), so that a
    // front-end polling at intervals looks at once instead of at its next tick.
    virtual void WorkerEnded() {}
};

// The cancel every front-end performs: asks the transcoding converters (every lane) and then the WMV
// converter to stop the operations that are running, then stores STATE_CANCELED in the job.
void CancelJob(IConvProgress& job);

// The catalogue texts a front-end shows for job: "Now converting ...", "Converted file %d/%d",
// "Converting %s" and the three endings, or their copying counterparts for a job that copies. The good
// ending names recordings that ended early once the job has handed one on (ask again at the end).
struct ProgressTextIds {
    int now, counter, file, canceled, failed, finished;
    int title; // what the job does: "Importing files", ...
    // The ending for a final state (0 while running).
    int Ending(int state) const;
};
ProgressTextIds ProgressTextsFor(const IConvProgress& job);
// How a report writes a file's name into its text (tq9 quotes one that would break the line); nullptr
// writes it as it is.
using NameTextFn = std::string (*)(const std::string& name);
// The ending a front-end shows for a final state ("" while running): the catalogue's, except that a job
// that failed after placing some files says how many of how many arrived ("Converted 7 of 8 files; 1
// failed.").
std::string ProgressEndingText(IConvProgress& job, int state);

} // namespace tq9
