// Position and duration of a stream in media time (100-ns units), as a source filter reports them.
#pragma once

#include "platform/streaming/StreamingTypes.h"

namespace tq9 {

// Capability bits.
constexpr unsigned long AM_SEEKING_CanSeekAbsolute = 0x1;
constexpr unsigned long AM_SEEKING_CanSeekForwards = 0x2;
constexpr unsigned long AM_SEEKING_CanSeekBackwards = 0x4;
constexpr unsigned long AM_SEEKING_CanGetCurrentPos = 0x8;
constexpr unsigned long AM_SEEKING_CanGetStopPos = 0x10;
constexpr unsigned long AM_SEEKING_CanGetDuration = 0x20;

class IMediaSeeking {
public:
    virtual ~IMediaSeeking() = default;
    virtual HRESULT GetCapabilities(unsigned long& capabilities) = 0;
    // S_OK when every bit asked for is supported, S_FALSE when some are (capabilities keeps those),
    // E_FAIL when none are.
    virtual HRESULT CheckCapabilities(unsigned long& capabilities) = 0;
    virtual HRESULT GetDuration(REFERENCE_TIME& duration) = 0;
    virtual HRESULT GetStopPosition(REFERENCE_TIME& stop) = 0;
    virtual HRESULT GetCurrentPosition(REFERENCE_TIME& current) = 0;
    virtual HRESULT GetPositions(REFERENCE_TIME& current, REFERENCE_TIME& stop) = 0;
    virtual HRESULT SetPositions(const REFERENCE_TIME* current, const REFERENCE_TIME* stop) = 0;
    virtual HRESULT GetAvailable(REFERENCE_TIME& earliest, REFERENCE_TIME& latest) = 0;
    virtual HRESULT SetRate(double rate) = 0;
    virtual HRESULT GetRate(double& rate) = 0;
    virtual HRESULT GetPreroll(REFERENCE_TIME& preroll) = 0;
};

} // namespace tq9
