#include "platform/streaming/SourceStream.h"

#include <system_error>

#include "platform/streaming/BaseFilter.h"

namespace tq9 {

CSourceStream::~CSourceStream()
{
    Inactive();
}

HRESULT CSourceStream::Active()
{
    if (!IsConnected())
        return VFW_E_NOT_CONNECTED;
    if (m_thread.joinable())
        return S_OK;
    HRESULT hr = Allocator()->Commit();
    if (Failed(hr))
        return hr;
    m_stop.store(false);
    try {
        m_thread = std::thread([this] { ThreadProc(); });
    } catch (const std::system_error&) {
        Allocator()->Decommit();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

void CSourceStream::Inactive()
{
    m_stop.store(true);
    if (Allocator())
        Allocator()->Decommit();
    if (m_thread.joinable())
        m_thread.join();
}

void CSourceStream::DeliverEndOfStream()
{
    if (auto* input = dynamic_cast<CBaseInputPin*>(ConnectedTo()))
        input->EndOfStream();
}

void CSourceStream::ThreadProc()
{
    auto* input = dynamic_cast<CBaseInputPin*>(ConnectedTo());
    HRESULT hr = input ? OnThreadCreate() : VFW_E_NOT_CONNECTED;
    if (Succeeded(hr))
        hr = OnThreadStartPlay();
    if (Failed(hr)) {
        if (!m_stop.load())
            m_filter.NotifyEvent(EC_ERRORABORT, hr);
        OnThreadDestroy();
        return;
    }
    while (!m_stop.load()) {
        HRESULT status = S_OK;
        CMediaSample* sample = Allocator()->GetBuffer(status);
        if (!sample)
            break; // decommitted: a stop
        hr = FillBuffer(*sample);
        if (m_stop.load()) {
            Allocator()->ReleaseBuffer(sample);
            break;
        }
        if (hr == S_OK) {
            const HRESULT delivered = input->Receive(*sample);
            Allocator()->ReleaseBuffer(sample);
            if (delivered != S_OK)
                break; // the receiver failed and reported it itself
            continue;
        }
        Allocator()->ReleaseBuffer(sample);
        // A stream that failed has not ended: downstream must not finish its file on what came so far.
        if (Failed(hr))
            m_filter.NotifyEvent(EC_ERRORABORT, hr);
        else
            DeliverEndOfStream();
        break;
    }
    OnThreadDestroy();
}

} // namespace tq9
