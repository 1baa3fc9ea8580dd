// The part every transfer job shares: the state under a lock, the index and percent the front-end polls,
// and the run shape (worker thread, lowered for the desktop program's dialog; modal front-end, join).
//
// Threads: the user-interface thread calls Run and the front-end calls the slots; the worker thread runs
// WorkerMain. m_lock guards m_state and m_waitingFor; m_index and m_percent are atomics written by the worker;
// m_result belongs to the worker while it runs and to the user-interface thread after the join.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>

#include "jobs/ConvProgress.h"
#include "jobs/ProgressFrontEnd.h"
#include "media/ConverterState.h"

namespace tq9 {

class CJobBase : public IConvProgress {
public:
    int GetFileCountMin() override { return 0; }
    int GetFileIndex() override { return m_index.load(); }
    int GetPercentMax() override { return 100; }
    int GetPercentMin() override { return 0; }
    int GetState() override;
    void SetState(int state) override;
    std::string GetWaitingFor() override;
    PlacementProgress GetPlacement() override;

protected:
    // Steps 1 to 3 of every job's run: state RUNNING, the worker started (WorkerMain; nice +10 when the
    // front-end asks for it), the front-end run modally, the worker joined. Returns the front-end's end code (FRONTEND_FINISHED or
    // FRONTEND_CANCELED), or 0 when the worker thread could not be started.
    int StartWorkerAndWait(IProgressFrontEnd& frontEnd);

    // The job's worker body. Must not throw.
    virtual void WorkerMain() = 0;

    // The worker loop shared by the jobs: for each index until count, stops with result 1 when the state
    // is no longer RUNNING; processEntry(index) does one entry. An exception out of processEntry is an
    // error outside the per-entry processing: the result becomes otherError. Ends by storing the final
    // state (CANCELED for result 1, DONE for 0, FAILED otherwise); finish (when set) runs on the worker just
    // before that, with the loop's result in m_result, and may change it: a step that ends the job (the
    // import's placement on the card) runs there, so the front-end still shows it and can cancel it.
    void WorkerLoop(int count, int otherError, const std::function<void(int index)>& processEntry,
                    const std::function<void()>& finish = {})
    {
        PairedWorkerLoop(
            count, otherError, [](int) { return false; }, [&](int index, int) { processEntry(index); }, finish);
    }

    // WorkerLoop over two lanes. A run of two or more consecutive entries for which pairable(index)
    // holds (files that keep one core busy) is done two at a time: each lane takes the next entry of the
    // run, lane 0 on the worker and lane 1 on a thread of its own, processEntry(index, lane); other
    // entries run alone on lane 0. processEntry must be safe to run twice at once for pairable entries.
    // The file index is the first entry not finished, so the front-end counts finished files and shows
    // the oldest one still running. An exception out of processEntry stops both lanes (otherError);
    // after a cancel neither lane starts another entry.
    void PairedWorkerLoop(int count, int otherError, const std::function<bool(int)>& pairable,
                          const std::function<void(int index, int lane)>& processEntry,
                          const std::function<void()>& finish = {});

    // Called by the worker around a wait for a folder lock ("" when it ends).
    void SetWaitingFor(const std::string& folder);
    // Called by the worker while it copies the results onto the card: total bytes to copy at the start,
    // then the bytes copied so far; EndPlacement when the copy is over.
    void BeginPlacement(uint64_t total);
    void PlacementAdvanced(uint64_t done) { m_placedBytes.store(done); }
    void EndPlacement() { m_placing.store(false); }

    // Back to the state of a job that has not run.
    void ResetRunFields();

    // The current file's percent from the converter's position and total (truncated; 0 while the total is
    // 0), stored as the current percent. Past the last entry the worker's final value stands.
    int PercentFromConverter(const CConverterState& converter, int count);

    std::atomic<int> m_index{0};
    std::atomic<int> m_percent{0};
    int m_result = 0;
    std::atomic<bool> m_placing{false};
    std::atomic<uint64_t> m_placedBytes{0};
    std::atomic<uint64_t> m_placeTotal{0};

private:
    // One run of pairable entries [begin, end) on both lanes; returns the first entry not finished.
    int RunPaired(int begin, int end, std::atomic<bool>& failed,
                  const std::function<void(int index, int lane)>& processEntry);

    std::mutex m_lock;
    int m_state = STATE_RUNNING; // guarded by m_lock
    std::string m_waitingFor;    // guarded by m_lock
};

} // namespace tq9
