// A pin of a filter: one end of a connection. It knows its filter, its direction, the pin it is connected
// to, the media type agreed for the connection and the connection's allocator.
//
// Connections are made and broken by the graph while it is stopped; the streaming threads only read them.
#pragma once

#include <memory>
#include <string>

#include "platform/streaming/MediaType.h"
#include "platform/streaming/MemAllocator.h"

namespace tq9 {

class CBaseFilter;

enum class PinDirection { Input, Output };

class CBasePin {
public:
    CBasePin(CBaseFilter& filter, std::string name, PinDirection direction)
        : m_filter(filter), m_name(std::move(name)), m_direction(direction)
    {
    }
    virtual ~CBasePin() = default;
    CBasePin(const CBasePin&) = delete;
    CBasePin& operator=(const CBasePin&) = delete;

    const std::string& Name() const { return m_name; }
    PinDirection Direction() const { return m_direction; }
    CBaseFilter& Filter() const { return m_filter; }

    // The types this pin proposes, by position: S_OK with a type, VFW_S_NO_MORE_ITEMS past the last.
    virtual HRESULT GetMediaType(int position, CMediaType& type);
    // S_OK when the pin can take type.
    virtual HRESULT CheckMediaType(const CMediaType* type) = 0;
    // Stores the agreed type; pins that need its format block keep what they need.
    virtual HRESULT SetMediaType(const CMediaType& type);

    bool IsConnected() const { return m_connected != nullptr; }
    CBasePin* ConnectedTo() const { return m_connected; }
    const CMediaType& ConnectionMediaType() const { return m_mt; }
    const std::shared_ptr<CMemAllocator>& Allocator() const { return m_allocator; }

    // Called by the graph on both ends of a connection.
    void CompleteConnect(CBasePin* other, std::shared_ptr<CMemAllocator> allocator);
    void Disconnect();

protected:
    CBaseFilter& m_filter;
    CMediaType m_mt;

private:
    std::string m_name;
    PinDirection m_direction;
    CBasePin* m_connected = nullptr;
    std::shared_ptr<CMemAllocator> m_allocator;
};

} // namespace tq9
