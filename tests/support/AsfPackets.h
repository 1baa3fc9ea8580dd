// The data packets of an ASF (WMV) file as a player's demuxer walks them: each packet's send time and the
// presentation time of each payload, read from the bytes with no media library in between (ffprobe and
// FFmpeg's demuxer take the send time as signed, players that take it as stored do not).
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace tq9test {

struct AsfPayload {
    int stream = 0;                // ASF stream number (1-based)
    uint32_t presentationMs = 0;   // as stored: the preroll is included
};

struct AsfPacket {
    uint32_t sendTimeMs = 0; // as stored, unsigned
    std::vector<AsfPayload> payloads;
};

struct AsfPackets {
    bool ok = false; // the header and every packet parsed
    uint64_t prerollMs = 0;
    std::vector<AsfPacket> packets;
    // The first payload's presentation time of stream, less the preroll, in ms; -1 when it has none.
    int64_t FirstPresentationMs(int stream) const;
    // The first packet is sent at 0 and none before the one ahead of it (a time below zero, stored
    // unsigned, reads as 49 days).
    bool SentFromZeroOn() const;
};

AsfPackets ReadAsfPackets(const std::filesystem::path& file);

} // namespace tq9test
