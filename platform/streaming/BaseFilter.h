// A filter of the streaming graph: a named set of pins that the graph runs and stops together. A filter
// reports the events that end a run (complete, user abort, error abort) to its graph.
//
// Run and Stop are called by the graph on the thread that controls it; NotifyEvent on any thread.
#pragma once

#include <string>

#include "platform/streaming/BasePin.h"

namespace tq9 {

class CFilterGraph;

class CBaseFilter {
public:
    explicit CBaseFilter(std::string objectName) : m_objectName(std::move(objectName)) {}
    virtual ~CBaseFilter() = default;
    CBaseFilter(const CBaseFilter&) = delete;
    CBaseFilter& operator=(const CBaseFilter&) = delete;

    virtual int GetPinCount() = 0;
    // Pin n (0-based), nullptr past the last.
    virtual CBasePin* GetPin(int n) = 0;

    // Start and stop streaming. Stop must leave no thread of the filter inside a pin of another filter.
    virtual HRESULT Run() { return S_OK; }
    virtual HRESULT Stop() { return S_OK; }

    // A filter without output pins ends the stream; the run is complete once every renderer said so.
    bool IsRenderer();

    // Called by the graph when the filter is added or removed.
    void JoinGraph(CFilterGraph* graph, const std::string& name);
    const std::string& Name() const { return m_name; }
    const std::string& ObjectName() const { return m_objectName; }

    void NotifyEvent(long code, long param);

private:
    std::string m_objectName;
    std::string m_name;
    CFilterGraph* m_graph = nullptr;
};

} // namespace tq9
