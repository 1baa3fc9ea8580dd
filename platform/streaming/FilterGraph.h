// The streaming graph: holds its filters, connects an output pin directly to an input pin (agreeing on a
// media type and giving the connection its one-buffer allocator), runs and stops all filters together and
// collects the events that end a run, which WaitForCompletion hands out.
//
// Threads: AddFilter, ConnectDirect, Run, Stop and WaitForCompletion on one controlling thread; filters
// call NotifyEvent from their streaming threads.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/streaming/BaseFilter.h"

namespace tq9 {

class CFilterGraph {
public:
    CFilterGraph() = default;
    ~CFilterGraph();
    CFilterGraph(const CFilterGraph&) = delete;
    CFilterGraph& operator=(const CFilterGraph&) = delete;

    // The graph keeps a reference to filter until it is destroyed.
    HRESULT AddFilter(std::shared_ptr<CBaseFilter> filter, const std::string& name);
    int FilterCount() const { return static_cast<int>(m_filters.size()); }
    CBaseFilter* GetFilter(int n) const;

    // Connects output to input. With type, only that type is tried; without, each type the output pin
    // proposes in turn until both pins accept one. The output pin then decides the buffer size.
    HRESULT ConnectDirect(CBasePin& output, CBasePin& input, const CMediaType* type);

    // Runs every filter, renderers first, so a sample never reaches a filter that is not running.
    HRESULT Run();
    // Stops every filter, sources first, so no streaming thread is left inside a stopped filter.
    HRESULT Stop();

    // Waits up to timeoutMs for a run-ending event: S_OK with its code (EC_COMPLETE once every renderer
    // completed, EC_USERABORT, EC_ERRORABORT), or E_ABORT when the time ran out.
    HRESULT WaitForCompletion(long timeoutMs, long& eventCode);

    // Called by the filters.
    void NotifyEvent(long code, long param, CBaseFilter* sender);

private:
    std::vector<std::shared_ptr<CBaseFilter>> m_filters;
    bool m_running = false;

    std::mutex m_eventLock;
    std::condition_variable m_eventArrived;
    std::deque<long> m_events;      // guarded by m_eventLock
    std::vector<CBaseFilter*> m_completed; // renderers that completed this run; guarded by m_eventLock
    bool m_aborted = false;                // an abort was reported this run; guarded by m_eventLock
};

} // namespace tq9
