#include "platform/streaming/BasePin.h"

namespace tq9 {

HRESULT CBasePin::GetMediaType(int position, CMediaType&)
{
    return position < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS;
}

HRESULT CBasePin::SetMediaType(const CMediaType& type)
{
    m_mt = type;
    return S_OK;
}

void CBasePin::CompleteConnect(CBasePin* other, std::shared_ptr<CMemAllocator> allocator)
{
    m_connected = other;
    m_allocator = std::move(allocator);
}

void CBasePin::Disconnect()
{
    m_connected = nullptr;
    m_allocator.reset();
    m_mt = CMediaType();
}

} // namespace tq9
