#include "platform/streaming/FilterGraph.h"

#include <algorithm>
#include <chrono>

#include "platform/streaming/SourceStream.h"

namespace tq9 {

CFilterGraph::~CFilterGraph()
{
    Stop();
    for (auto& filter : m_filters)
        for (int i = 0; CBasePin* pin = filter->GetPin(i); ++i)
            pin->Disconnect();
}

HRESULT CFilterGraph::AddFilter(std::shared_ptr<CBaseFilter> filter, const std::string& name)
{
    if (!filter)
        return E_POINTER;
    filter->JoinGraph(this, name);
    m_filters.push_back(std::move(filter));
    return S_OK;
}

CBaseFilter* CFilterGraph::GetFilter(int n) const
{
    return n >= 0 && n < FilterCount() ? m_filters[static_cast<size_t>(n)].get() : nullptr;
}

HRESULT CFilterGraph::ConnectDirect(CBasePin& output, CBasePin& input, const CMediaType* type)
{
    if (m_running)
        return VFW_E_WRONG_STATE;
    auto* source = dynamic_cast<CSourceStream*>(&output);
    auto* sink = dynamic_cast<CBaseInputPin*>(&input);
    if (!source || !sink)
        return E_INVALIDARG;
    if (output.IsConnected() || input.IsConnected())
        return VFW_E_ALREADY_CONNECTED;

    auto tryType = [&](const CMediaType& mt) -> HRESULT {
        if (output.CheckMediaType(&mt) != S_OK || input.CheckMediaType(&mt) != S_OK)
            return VFW_E_TYPE_NOT_ACCEPTED;
        HRESULT hr = output.SetMediaType(mt);
        if (Succeeded(hr))
            hr = input.SetMediaType(mt);
        if (Failed(hr))
            return hr;
        auto allocator = std::make_shared<CMemAllocator>();
        ALLOCATOR_PROPERTIES request;
        sink->GetAllocatorRequirements(request);
        hr = source->DecideBufferSize(*allocator, request);
        if (Failed(hr))
            return hr;
        output.CompleteConnect(&input, allocator);
        input.CompleteConnect(&output, allocator);
        return S_OK;
    };

    if (type)
        return tryType(*type);
    for (int position = 0;; ++position) {
        CMediaType proposed;
        const HRESULT got = output.GetMediaType(position, proposed);
        if (got != S_OK)
            return VFW_E_NO_ACCEPTABLE_TYPES;
        const HRESULT hr = tryType(proposed);
        if (hr == S_OK)
            return S_OK;
        if (hr != VFW_E_TYPE_NOT_ACCEPTED) {
            output.Disconnect();
            input.Disconnect();
            return hr;
        }
    }
}

HRESULT CFilterGraph::Run()
{
    if (m_running)
        return S_OK;
    {
        std::lock_guard<std::mutex> lock(m_eventLock);
        m_events.clear();
        m_completed.clear();
        m_aborted = false;
    }
    m_running = true;
    for (bool renderers : {true, false}) {
        for (auto& filter : m_filters) {
            if (filter->IsRenderer() != renderers)
                continue;
            const HRESULT hr = filter->Run();
            if (Failed(hr)) {
                Stop();
                return hr;
            }
        }
    }
    return S_OK;
}

HRESULT CFilterGraph::Stop()
{
    if (!m_running)
        return S_OK;
    for (bool renderers : {false, true})
        for (auto& filter : m_filters)
            if (filter->IsRenderer() == renderers)
                filter->Stop();
    m_running = false;
    return S_OK;
}

HRESULT CFilterGraph::WaitForCompletion(long timeoutMs, long& eventCode)
{
    std::unique_lock<std::mutex> lock(m_eventLock);
    if (!m_eventArrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !m_events.empty(); }))
        return E_ABORT;
    eventCode = m_events.front();
    m_events.pop_front();
    return S_OK;
}

void CFilterGraph::NotifyEvent(long code, long, CBaseFilter* sender)
{
    {
        std::lock_guard<std::mutex> lock(m_eventLock);
        // An error stands: a completion reported after it (another stream finished) does not hide it.
        if (code == EC_COMPLETE && m_aborted)
            return;
        if (code == EC_ERRORABORT || code == EC_USERABORT)
            m_aborted = true;
        if (code == EC_COMPLETE) {
            // The run is complete only when every renderer has finished its streams.
            if (std::find(m_completed.begin(), m_completed.end(), sender) == m_completed.end())
                m_completed.push_back(sender);
            const auto renderers = std::count_if(m_filters.begin(), m_filters.end(),
                                                 [](const auto& f) { return f->IsRenderer(); });
            if (static_cast<long>(m_completed.size()) < renderers)
                return;
        }
        m_events.push_back(code);
    }
    m_eventArrived.notify_all();
}

} // namespace tq9
