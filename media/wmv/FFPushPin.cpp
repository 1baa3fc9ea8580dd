#include "media/wmv/FFPushPin.h"

namespace tq9 {

namespace {

// The library's status for data a decoder cannot make sense of (FFmpeg's AVERROR_INVALIDDATA).
constexpr int kInvalidData = -1094995529;

} // namespace

HRESULT CFFPushPin::GetMediaType(int position, CMediaType& type)
{
    std::lock_guard<std::mutex> lock(m_source.StateLock());
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    type = CMediaType();
    ProposeType(type);
    return S_OK;
}

HRESULT CFFPushPin::SetMediaType(const CMediaType& type)
{
    if (type.format.empty())
        return E_UNEXPECTED;
    return CSourceStream::SetMediaType(type);
}

HRESULT CFFPushPin::DecodeNext()
{
    Tq9MediaFile* file = m_source.File();
    const int stream = m_source.StreamIndex(m_which);
    for (;;) {
        const int rc = ReceiveFrame();
        if (rc == 0)
            return S_OK;
        if (rc == TQ9_MEDIA_EOF)
            return S_FALSE;
        if (rc != TQ9_MEDIA_AGAIN || m_drained)
            return E_FAIL;
        HRESULT status = S_OK;
        const std::unique_ptr<CFFPacket> packet = m_source.NextPacket(m_which, status);
        if (!packet) {
            if (status != S_FALSE)
                return status; // a read error, or a stop
            Tq9MediaSendEnd(file, stream);
            m_drained = true;
            continue;
        }
        const int sent = Tq9MediaSendPacket(file, packet->Get());
        // A packet that does not decode is skipped, as the device conversion does; anything else ends it.
        if (sent < 0 && sent != TQ9_MEDIA_AGAIN && sent != kInvalidData)
            return E_FAIL;
    }
}

HRESULT CFFPushPin::RequestOneBuffer(CMemAllocator& allocator, ALLOCATOR_PROPERTIES& request, long size)
{
    request.cBuffers = 1;
    request.cbBuffer = size;
    ALLOCATOR_PROPERTIES actual;
    const HRESULT hr = allocator.SetProperties(request, actual);
    if (Failed(hr))
        return hr;
    return actual.cbBuffer < request.cbBuffer ? E_FAIL : S_OK;
}

HRESULT CFFPushPin::OnThreadDestroy()
{
    m_source.PinFinished(m_which);
    return S_OK;
}

} // namespace tq9
