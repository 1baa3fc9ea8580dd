#include "platform/streaming/MemAllocator.h"

namespace tq9 {

HRESULT CMemAllocator::SetProperties(const ALLOCATOR_PROPERTIES& request, ALLOCATOR_PROPERTIES& actual)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_committed)
        return VFW_E_WRONG_STATE;
    if (request.cbBuffer <= 0)
        return E_INVALIDARG;
    m_properties = ALLOCATOR_PROPERTIES{1, request.cbBuffer, 1, 0};
    actual = m_properties;
    return S_OK;
}

HRESULT CMemAllocator::GetProperties(ALLOCATOR_PROPERTIES& actual) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    actual = m_properties;
    return S_OK;
}

HRESULT CMemAllocator::Commit()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_properties.cbBuffer <= 0)
        return VFW_E_WRONG_STATE;
    if (!m_sample || m_sample->GetSize() != m_properties.cbBuffer)
        m_sample = std::make_unique<CMediaSample>(m_properties.cbBuffer);
    m_committed = true;
    return S_OK;
}

void CMemAllocator::Decommit()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_committed = false;
    }
    m_returned.notify_all();
}

CMediaSample* CMemAllocator::GetBuffer(HRESULT& status)
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_returned.wait(lock, [&] { return !m_committed || !m_lent; });
    if (!m_committed) {
        status = VFW_E_NOT_COMMITTED;
        return nullptr;
    }
    m_lent = true;
    m_sample->Reset();
    status = S_OK;
    return m_sample.get();
}

void CMemAllocator::ReleaseBuffer(CMediaSample* sample)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (sample == m_sample.get())
            m_lent = false;
    }
    m_returned.notify_all();
}

} // namespace tq9
