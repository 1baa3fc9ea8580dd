#include "AsfPackets.h"

#include <algorithm>
#include <cstring>

#include "TestSupport.h"

namespace tq9test {

namespace {

using Guid = unsigned char[16];
// Object identifiers in the order their bytes stand in the file.
constexpr Guid kHeaderObject = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr Guid kDataObject = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr Guid kFileProperties = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                  0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};

bool Is(const std::string& b, size_t at, const Guid& guid)
{
    return b.size() >= at + 16 && std::memcmp(b.data() + at, guid, 16) == 0;
}

uint64_t Le(const std::string& b, size_t at, size_t bytes)
{
    uint64_t v = 0;
    for (size_t i = bytes; i-- > 0;)
        v = v << 8 | static_cast<unsigned char>(b[at + i]);
    return v;
}

// The bytes of a field whose size is given by a two-bit length type: none, BYTE, WORD, DWORD.
size_t FieldSize(uint64_t type)
{
    return type == 3 ? 4 : static_cast<size_t>(type);
}

// One packet in [at, end): its payload parsing information, then single or multiple payloads.
bool ReadPacket(const std::string& b, size_t at, size_t end, AsfPacket& packet)
{
    bool bad = false;
    auto take = [&](size_t bytes) -> uint64_t {
        if (at + bytes > end) {
            bad = true;
            return 0;
        }
        const uint64_t v = Le(b, at, bytes);
        at += bytes;
        return v;
    };
    uint64_t flags = take(1);
    if (flags & 0x80) { // error correction data first
        at += flags & 0x0F;
        flags = take(1);
    }
    const uint64_t properties = take(1);
    take(FieldSize(flags >> 5 & 3)); // packet length
    take(FieldSize(flags >> 1 & 3)); // sequence
    const uint64_t padding = take(FieldSize(flags >> 3 & 3));
    packet.sendTimeMs = static_cast<uint32_t>(take(4));
    take(2); // duration
    const bool multiple = flags & 1;
    uint64_t count = 1, lengthType = 0;
    if (multiple) {
        const uint64_t payloadFlags = take(1);
        count = payloadFlags & 0x3F;
        lengthType = payloadFlags >> 6;
    }
    for (uint64_t i = 0; i < count && !bad; ++i) {
        AsfPayload payload;
        payload.stream = static_cast<int>(take(1) & 0x7F);
        take(FieldSize(properties >> 4 & 3)); // media object number
        take(FieldSize(properties >> 2 & 3)); // offset into the media object
        const uint64_t replicated = take(FieldSize(properties & 3));
        if (replicated < 8)
            return false; // no presentation time (compressed payloads are not written here)
        take(4); // media object size
        payload.presentationMs = static_cast<uint32_t>(take(4));
        at += replicated - 8;
        if (!multiple && at + padding > end)
            return false;
        at += multiple ? take(FieldSize(lengthType)) : end - padding - at; // the payload's data
        packet.payloads.push_back(payload);
    }
    return !bad && at + padding <= end;
}

} // namespace

int64_t AsfPackets::FirstPresentationMs(int stream) const
{
    for (const AsfPacket& packet : packets)
        for (const AsfPayload& payload : packet.payloads)
            if (payload.stream == stream)
                return static_cast<int64_t>(payload.presentationMs) - static_cast<int64_t>(prerollMs);
    return -1;
}

bool AsfPackets::SentFromZeroOn() const
{
    for (size_t i = 1; i < packets.size(); ++i)
        if (packets[i].sendTimeMs < packets[i - 1].sendTimeMs)
            return false;
    return !packets.empty() && packets.front().sendTimeMs == 0;
}

AsfPackets ReadAsfPackets(const std::filesystem::path& file)
{
    const std::string b = ReadFile(file);
    AsfPackets r;
    if (!Is(b, 0, kHeaderObject))
        return r;
    const uint64_t headerSize = Le(b, 16, 8);
    if (headerSize < 30 || headerSize > b.size())
        return r;
    uint64_t packetSize = 0;
    for (size_t at = 30; at + 24 <= headerSize;) {
        const uint64_t size = Le(b, at + 16, 8);
        if (size < 24 || size > headerSize - at)
            return r;
        if (Is(b, at, kFileProperties) && size >= 104) {
            r.prerollMs = Le(b, at + 80, 8);
            packetSize = Le(b, at + 92, 4); // the minimum; ASF packets are all of one size
        }
        at += size;
    }
    size_t at = headerSize;
    if (packetSize == 0 || !Is(b, at, kDataObject) || b.size() < at + 50)
        return r;
    const uint64_t end = std::min<uint64_t>(at + Le(b, at + 16, 8), b.size());
    for (at += 50; at + packetSize <= end; at += packetSize) {
        AsfPacket packet;
        if (!ReadPacket(b, at, at + packetSize, packet))
            return r;
        r.packets.push_back(packet);
    }
    r.ok = at == end && !r.packets.empty();
    return r;
}

} // namespace tq9test
