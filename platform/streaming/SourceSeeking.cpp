#include "platform/streaming/SourceSeeking.h"

namespace tq9 {

static_assert(CSourceSeeking::kCapabilities == 55);

HRESULT CSourceSeeking::GetCapabilities(unsigned long& capabilities)
{
    capabilities = kCapabilities;
    return S_OK;
}

HRESULT CSourceSeeking::CheckCapabilities(unsigned long& capabilities)
{
    const unsigned long asked = capabilities;
    capabilities &= kCapabilities;
    if (capabilities == asked)
        return S_OK;
    return capabilities != 0 ? S_FALSE : E_FAIL;
}

HRESULT CSourceSeeking::GetDuration(REFERENCE_TIME& duration)
{
    std::lock_guard<std::mutex> lock(m_lock);
    duration = m_duration;
    return S_OK;
}

HRESULT CSourceSeeking::GetStopPosition(REFERENCE_TIME& stop)
{
    std::lock_guard<std::mutex> lock(m_lock);
    stop = m_stop;
    return S_OK;
}

HRESULT CSourceSeeking::GetCurrentPosition(REFERENCE_TIME& current)
{
    current = m_current.load();
    return S_OK;
}

HRESULT CSourceSeeking::GetPositions(REFERENCE_TIME& current, REFERENCE_TIME& stop)
{
    std::lock_guard<std::mutex> lock(m_lock);
    current = m_start;
    stop = m_stop;
    return S_OK;
}

HRESULT CSourceSeeking::SetPositions(const REFERENCE_TIME*, const REFERENCE_TIME*)
{
    return E_NOTIMPL;
}

HRESULT CSourceSeeking::GetAvailable(REFERENCE_TIME& earliest, REFERENCE_TIME& latest)
{
    std::lock_guard<std::mutex> lock(m_lock);
    earliest = 0;
    latest = m_duration;
    return S_OK;
}

HRESULT CSourceSeeking::SetRate(double)
{
    return E_NOTIMPL;
}

HRESULT CSourceSeeking::GetRate(double& rate)
{
    std::lock_guard<std::mutex> lock(m_lock);
    rate = m_rate;
    return S_OK;
}

HRESULT CSourceSeeking::GetPreroll(REFERENCE_TIME& preroll)
{
    preroll = 0;
    return S_OK;
}

void CSourceSeeking::SetDuration(REFERENCE_TIME duration)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_duration = duration;
    m_stop = duration;
}

} // namespace tq9
