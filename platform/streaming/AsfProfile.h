// What the ASF writer filter writes: one configuration per stream (its type, its bit rate and the media
// type of the encoded stream). The WMV converter reads the writer's profile, adjusts it to the source and
// hands it back. A stream the writer cannot encode is refused when it is reconfigured.
//
// Plain value.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/streaming/MediaType.h"

namespace tq9 {

enum class AsfStreamType { Video, Audio, Other };

// The ten extra bytes after a WMA v2 wave format (the encoder's options).
inline constexpr uint8_t kWmaV2WaveExtra[10] = {0x00, 0x88, 0x00, 0x00, 0x0F, 0x00, 0x00, 0x00, 0x00, 0x00};

struct CAsfStreamConfig {
    int streamNumber = 0; // 1-based, unique in the profile
    AsfStreamType type = AsfStreamType::Other;
    uint32_t bitrate = 0; // bit/s
    CMediaType mediaType;
};

class CAsfProfile {
public:
    // The writer's starting profile: a WMV2 video stream (88-byte video info, 320x240) and a WMA v2 audio
    // stream (28-byte wave format: 44100 Hz stereo at 128016 bit/s).
    static CAsfProfile Default();

    int GetStreamCount() const { return static_cast<int>(m_streams.size()); }
    // Stream by position; E_INVALIDARG past the end.
    HRESULT GetStream(int index, CAsfStreamConfig& config) const;
    // Replaces the stream with config's number. E_INVALIDARG for an unknown number or a type the writer
    // cannot encode (video other than WMV2 in a video info block, audio other than WMA v2 in a wave
    // format block).
    HRESULT ReconfigStream(const CAsfStreamConfig& config);
    // Appends a stream as it is (no encodability check); E_INVALIDARG for a number already used.
    HRESULT AddStream(const CAsfStreamConfig& config);

    // The first stream of a type, nullptr when there is none.
    const CAsfStreamConfig* Find(AsfStreamType type) const;

private:
    static HRESULT CheckEncodable(const CAsfStreamConfig& config);

    std::vector<CAsfStreamConfig> m_streams;
};

} // namespace tq9
