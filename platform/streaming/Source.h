// A source filter: its pins are streaming output pins, each with a thread of its own while the filter
// runs. Derived filters create the pins and add them with AddPin.
#pragma once

#include <memory>
#include <vector>

#include "platform/streaming/BaseFilter.h"
#include "platform/streaming/SourceStream.h"

namespace tq9 {

class CSource : public CBaseFilter {
public:
    using CBaseFilter::CBaseFilter;
    ~CSource() override;

    int GetPinCount() override { return static_cast<int>(m_pins.size()); }
    CBasePin* GetPin(int n) override;

    // Starts every connected pin's thread; a pin that cannot start stops the others again.
    HRESULT Run() override;
    // Stops every pin's thread and waits for all of them.
    HRESULT Stop() override;

protected:
    void AddPin(std::unique_ptr<CSourceStream> pin) { m_pins.push_back(std::move(pin)); }
    // Wakes whatever a pin's FillBuffer may be waiting on inside the filter, before the threads are joined.
    virtual void WakeForStop() {}

    std::vector<std::unique_ptr<CSourceStream>> m_pins;
};

} // namespace tq9
