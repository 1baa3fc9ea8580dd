// The progress and stop state that both converters keep, and the plain chunked copy they both offer.
// CFFMpegConverter and CWMVConverter each inherit their own copy of it.
//
// Threads: operations run on a job's worker thread and hold runLock for their whole length, so a second
// operation from another thread waits. The user-interface thread calls GetProgress and RequestStop at any
// time. Each operation returns its own outcome; none is kept here for a later read. Lock order: runLock
// before stateLock; code that takes only stateLock (the library callback, RequestStop, the getters) never
// takes runLock.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "media/ConverterOutcome.h"

namespace tq9 {

class CConverterState {
public:
    struct Progress {
        int32_t position = 0;
        int32_t total = 0;
    };

    // position and total read together: milliseconds for a conversion, bytes for a copy.
    Progress GetProgress() const;
    // Asks the running operation to stop. A request made while nothing runs is forgotten when the next
    // operation starts.
    void RequestStop();

    // Copies source onto destination in 1024-byte blocks. The destination must already exist; it is
    // neither created nor truncated. Status 0 after the whole file; StoppedByUser after a stop request (the
    // destination keeps the bytes written so far). When either file cannot be opened, or on a read or
    // write error in the middle, the status is the system error as the library writes it (-ENOSPC,
    // -EIO...), TQ9_MEDIA_UNKNOWN when there is none, so a short copy is never taken for a finished one.
    // Progress is in bytes; for a source over 2 GiB position and total are both counted in KiB, so that
    // their ratio stays right.
    ConverterOutcome CopyFile(const std::string& source, const std::string& destination);

protected:
    CConverterState() = default;
    ~CConverterState() = default;
    CConverterState(const CConverterState&) = delete;
    CConverterState& operator=(const CConverterState&) = delete;

    // Resets the state for a new operation; the caller holds runLock.
    void BeginOperation();
    // The outcome of a copy that failed with the system error err.
    static ConverterOutcome FailedCopy(int err);

    // Held for the whole of one operation.
    std::mutex runLock;
    // Guards the three fields below; every read and write of them happens under it.
    mutable std::mutex stateLock;
    int32_t position = 0;
    int32_t total = 0;
    bool continueFlag = false;
};

} // namespace tq9
