// An input pin: takes the samples and the end of the stream that the connected output pin delivers, on
// that pin's streaming thread.
#pragma once

#include "platform/streaming/BasePin.h"

namespace tq9 {

class CBaseInputPin : public CBasePin {
public:
    CBaseInputPin(CBaseFilter& filter, std::string name) : CBasePin(filter, std::move(name), PinDirection::Input) {}

    // One sample; S_OK to go on, anything else tells the sender to stop delivering.
    virtual HRESULT Receive(CMediaSample& sample) = 0;
    // No sample follows on this connection.
    virtual HRESULT EndOfStream() = 0;
    // What the pin would like the connection's buffer to be; the output pin decides.
    virtual void GetAllocatorRequirements(ALLOCATOR_PROPERTIES& request) { request = ALLOCATOR_PROPERTIES(); }
};

} // namespace tq9
