#include "platform/streaming/Source.h"

namespace tq9 {

CSource::~CSource()
{
    CSource::Stop();
}

CBasePin* CSource::GetPin(int n)
{
    return n >= 0 && n < GetPinCount() ? m_pins[static_cast<size_t>(n)].get() : nullptr;
}

HRESULT CSource::Run()
{
    for (auto& pin : m_pins) {
        if (!pin->IsConnected())
            continue;
        const HRESULT hr = pin->Active();
        if (Failed(hr)) {
            Stop();
            return hr;
        }
    }
    return S_OK;
}

HRESULT CSource::Stop()
{
    // Every thread learns of the stop before any is joined, so none waits on a sibling that is gone.
    for (auto& pin : m_pins)
        pin->RequestStop();
    WakeForStop();
    for (auto& pin : m_pins)
        pin->Inactive();
    return S_OK;
}

} // namespace tq9
