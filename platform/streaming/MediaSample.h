// One buffer of media travelling from an output pin to the input pin it is connected to: the bytes, how
// many of them are valid, the start and stop times (100-ns units) and whether decoding can start here.
// Belongs to its allocator; a streaming thread borrows it for one FillBuffer and one delivery.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/streaming/StreamingTypes.h"

namespace tq9 {

class CMediaSample {
public:
    explicit CMediaSample(long size) : m_buffer(static_cast<size_t>(size)) {}

    uint8_t* GetPointer() { return m_buffer.data(); }
    const uint8_t* GetPointer() const { return m_buffer.data(); }
    long GetSize() const { return static_cast<long>(m_buffer.size()); }

    long GetActualDataLength() const { return m_actual; }
    HRESULT SetActualDataLength(long length)
    {
        if (length < 0 || length > GetSize())
            return E_INVALIDARG;
        m_actual = length;
        return S_OK;
    }

    void SetTime(REFERENCE_TIME start, REFERENCE_TIME stop)
    {
        m_start = start;
        m_stop = stop;
        m_timeValid = true;
    }
    // VFW_E_WRONG_STATE (nothing set) when the sample carries no times.
    HRESULT GetTime(REFERENCE_TIME& start, REFERENCE_TIME& stop) const
    {
        if (!m_timeValid)
            return VFW_E_WRONG_STATE;
        start = m_start;
        stop = m_stop;
        return S_OK;
    }

    void SetSyncPoint(bool sync) { m_sync = sync; }
    bool IsSyncPoint() const { return m_sync; }

    // Back to the state of a fresh buffer before it is lent again.
    void Reset()
    {
        m_actual = 0;
        m_timeValid = false;
        m_sync = false;
    }

private:
    std::vector<uint8_t> m_buffer;
    long m_actual = 0;
    REFERENCE_TIME m_start = 0;
    REFERENCE_TIME m_stop = 0;
    bool m_timeValid = false;
    bool m_sync = false;
};

} // namespace tq9
