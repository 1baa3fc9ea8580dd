#include "platform/streaming/BaseFilter.h"

#include "platform/streaming/FilterGraph.h"

namespace tq9 {

bool CBaseFilter::IsRenderer()
{
    for (int i = 0; CBasePin* pin = GetPin(i); ++i)
        if (pin->Direction() == PinDirection::Output)
            return false;
    return true;
}

void CBaseFilter::JoinGraph(CFilterGraph* graph, const std::string& name)
{
    m_graph = graph;
    m_name = name;
}

void CBaseFilter::NotifyEvent(long code, long param)
{
    if (m_graph)
        m_graph->NotifyEvent(code, param, this);
}

} // namespace tq9
