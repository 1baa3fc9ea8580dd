// The progress and cancel contract between a running transfer job and whatever shows its progress (the Qt
// progress dialog, the command-line front-end). The front-end polls these slots from the user-interface
// thread while the job's worker runs.
#pragma once

#include <cstdint>
#include <string>

namespace tq9 {

// What a job does, for the front-end's title.
enum class JobKind { Import, Export, Duplication };

// The copy of a job's results onto the card, after its conversions (a phase of its own: minutes for long
// clips on a slow card). Bytes of the files copied so far and in all.
struct PlacementProgress {
    bool active = false;
    uint64_t done = 0;
    uint64_t total = 0;
};

// Job states.
constexpr int STATE_RUNNING = 0;  // worker busy, or not started
constexpr int STATE_DONE = 1;     // worker finished: every file done
constexpr int STATE_CANCELED = 2; // cancel was requested, or the worker stopped because of it
constexpr int STATE_FAILED = 3;   // the worker stopped on an error that ends the whole job, or left files out

// Job results returned by Run: 0 all done, 1 cancelled by the user, negative (bit 31 set) an error whose
// further bits each name one message line in the job's own message table.
constexpr int JOB_RESULT_DONE = 0;
constexpr int JOB_RESULT_CANCELED = 1;

class IConvProgress {
public:
    virtual ~IConvProgress() = default;

    // Upper and lower end of the file bar.
    virtual int GetFileCount() = 0;
    virtual int GetFileCountMin() = 0;
    // Zero-based index of the file being processed, which is also the number of files done.
    virtual int GetFileIndex() = 0;
    // Range and position of the per-file bar.
    virtual int GetPercentMax() = 0;
    virtual int GetPercentMin() = 0;
    virtual int GetPercent() = 0;
    // Full path of the file being processed. Returned by value: the worker moves on while the caller reads.
    virtual std::string GetCurrentFileName() = 0;
    // The folder whose lock (held by another run) the worker waits for; empty while it does not wait.
    virtual std::string GetWaitingFor() { return {}; }
    // The copy onto the card, while it runs (inactive otherwise).
    virtual PlacementProgress GetPlacement() { return {}; }
    // The state, read and written under the job's lock.
    virtual int GetState() = 0;
    virtual void SetState(int state) = 0;
    virtual JobKind Kind() const { return JobKind::Import; }
    // True for a job that copies files as they are (the duplication): its progress says "copying".
    virtual bool Copies() const { return false; }
    // True once the job has handed on a result shorter than its source (a recording that ended early, kept
    // as far as it goes): a job that ends well then says so instead of "finished successfully".
    virtual bool SomeEndedEarly() const { return false; }
    // Once the job has ended: how many files it placed and how many it left out, for an ending that says
    // how many arrived when some did and others failed. A job that does not count says {0, 0}.
    struct Tally {
        int placed = 0;
        int failed = 0;
    };
    virtual Tally EndTally() { return {}; }
};

} // namespace tq9
