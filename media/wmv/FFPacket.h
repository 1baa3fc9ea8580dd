// One compressed packet taken from the file for a stream's queue: the library's packet (its payload is
// reference-counted, so nothing is copied) with its times in microseconds. A packet that came without a
// presentation time carries one continued from the packet before it in its stream.
#pragma once

#include <cstdint>
#include <memory>

#include "medialib/tq9media.h"

namespace tq9 {

class CFFPacket {
public:
    CFFPacket(Tq9MediaPacket* packet, int64_t ptsUs, int64_t durationUs)
        : m_packet(packet), m_ptsUs(ptsUs), m_durationUs(durationUs)
    {
    }

    const Tq9MediaPacket* Get() const { return m_packet.get(); }
    int64_t PtsUs() const { return m_ptsUs; }
    int64_t DurationUs() const { return m_durationUs; }
    int Size() const { return Tq9MediaPacketSize(m_packet.get()); }

private:
    struct Free {
        void operator()(Tq9MediaPacket* packet) const { Tq9MediaPacketFree(packet); }
    };
    std::unique_ptr<Tq9MediaPacket, Free> m_packet;
    int64_t m_ptsUs;
    int64_t m_durationUs;
};

} // namespace tq9
