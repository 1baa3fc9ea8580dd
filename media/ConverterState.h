// The progress, outcome and stop state that both converters keep, and the plain chunked copy they both
// offer. CFFMpegConverter and CWMVConverter each inherit their own copy of it.
//
// Threads: operations run on a job's worker thread and hold runLock for their whole length, so a second
// operation from another thread waits. The user-interface thread calls GetResult, GetProgress and
// RequestStop at any time. Lock order: runLock before stateLock; code that takes only stateLock (the
// library callback, RequestStop, the getters) never takes runLock.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "medialib/tq9media.h"

namespace tq9 {

// The converter's own statuses are in the library's vocabulary (negative FFmpeg codes), so that one text
// function names every status and a caller testing the sign is never misled.
// Generic failure, set at the start of every operation and kept when it does not succeed.
constexpr int32_t kConverterFailed = TQ9_MEDIA_UNKNOWN;
// A conversion that finished, but the source held less than it declares (a recording cut short by a flat
// battery): the output is complete and playable, only shorter. Negative: a caller testing only the sign
// sees a failure. An application-defined status (customer bit set), unlike any system one.
constexpr int32_t kConverterEndedEarly = static_cast<int32_t>(0xA0040001);
// A plain copy stopped at the user's request: the destination is cut short.
constexpr int32_t kConverterCopyStopped = TQ9_MEDIA_EXIT;

class CConverterState {
public:
    struct Progress {
        int32_t position = 0;
        int32_t total = 0;
    };

    // Outcome of the running or last operation: non-negative = success.
    int32_t GetResult() const;
    // position and total read together: milliseconds for a conversion, bytes for a copy.
    Progress GetProgress() const;
    // Asks the running operation to stop. A request made while nothing runs is forgotten when the next
    // operation starts.
    void RequestStop();

    // Copies source onto destination in 1024-byte blocks. The destination must already exist; it is
    // neither created nor truncated. Returns 1 when either file cannot be opened. Otherwise returns 0,
    // with result 0 after the whole file, or kConverterCopyStopped after a stop request (the destination
    // keeps the bytes written so far). A read or write error in the middle returns 1. A failure's result
    // is the system error as the library writes it (-ENOSPC, -EIO...), kConverterFailed when there is
    // none, so a short copy is never taken for a finished one and its cause travels with it. Progress is in bytes; for a source over 2 GiB position and total are both
    // counted in KiB, so that their ratio stays right.
    int CopyFile(const std::string& source, const std::string& destination);

protected:
    CConverterState() = default;
    ~CConverterState() = default;
    CConverterState(const CConverterState&) = delete;
    CConverterState& operator=(const CConverterState&) = delete;

    // Resets the state for a new operation; the caller holds runLock.
    void BeginOperation();
    // Ends a failed copy with the system error err as its result; returns 1.
    int FailCopy(int err);

    // Held for the whole of one operation.
    std::mutex runLock;
    // Guards the four fields below; every read and write of them happens under it.
    mutable std::mutex stateLock;
    int32_t position = 0;
    int32_t total = 0;
    int32_t result = 0;
    bool continueFlag = false;
};

} // namespace tq9
