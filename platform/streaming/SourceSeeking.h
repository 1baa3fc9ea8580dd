// The seeking state a source filter keeps: duration, start, stop, rate and the current position. The
// stream cannot be moved while it runs, so the change operations keep nothing and answer E_NOTIMPL.
//
// Threads: the state is guarded by its own lock; the current position, written by a streaming thread and
// read by the converter's thread, is one atomic 64-bit value.
#pragma once

#include <atomic>
#include <mutex>

#include "platform/streaming/MediaSeeking.h"

namespace tq9 {

class CSourceSeeking : public IMediaSeeking {
public:
    // 55: the position is still readable (GetCurrentPosition) without the bit saying so.
    static constexpr unsigned long kCapabilities = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards |
                                                   AM_SEEKING_CanSeekBackwards | AM_SEEKING_CanGetStopPos |
                                                   AM_SEEKING_CanGetDuration;
    static constexpr REFERENCE_TIME kUnknownDuration = 0x3FFFFFFFFFFFFFFF;

    HRESULT GetCapabilities(unsigned long& capabilities) override;
    HRESULT CheckCapabilities(unsigned long& capabilities) override;
    HRESULT GetDuration(REFERENCE_TIME& duration) override;
    HRESULT GetStopPosition(REFERENCE_TIME& stop) override;
    HRESULT GetCurrentPosition(REFERENCE_TIME& current) override;
    HRESULT GetPositions(REFERENCE_TIME& current, REFERENCE_TIME& stop) override;
    HRESULT SetPositions(const REFERENCE_TIME* current, const REFERENCE_TIME* stop) override;
    HRESULT GetAvailable(REFERENCE_TIME& earliest, REFERENCE_TIME& latest) override;
    HRESULT SetRate(double rate) override;
    HRESULT GetRate(double& rate) override;
    HRESULT GetPreroll(REFERENCE_TIME& preroll) override;

protected:
    // Duration and stop together, once the source knows its length.
    void SetDuration(REFERENCE_TIME duration);
    void SetCurrentPosition(REFERENCE_TIME current) { m_current.store(current); }

private:
    std::mutex m_lock;
    REFERENCE_TIME m_duration = kUnknownDuration;
    REFERENCE_TIME m_start = 0;
    REFERENCE_TIME m_stop = kUnknownDuration;
    double m_rate = 1.0;
    std::atomic<REFERENCE_TIME> m_current{0};
};

} // namespace tq9
