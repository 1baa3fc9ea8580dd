// Probe results and settings for the converter tests that hand the converter no real file.
#pragma once

#include <cstdint>

#include "media/ConversionSettings.h"
#include "media/MediaInfo.h"

namespace tq9test {

inline constexpr uint32_t kH264 = 27;
inline constexpr uint32_t kAac = 0x15002;

// A video stream as the probe reports it; rotation is the clockwise turn a player shows it at.
inline tq9::StreamInfo VideoStream(uint32_t codec, int w, int h, int darNum = 0, int darDen = 0, int rotation = 0)
{
    tq9::StreamInfo video;
    video.codecId = codec;
    video.width = w;
    video.height = h;
    video.darNum = darNum;
    video.darDen = darDen;
    video.rotation = rotation;
    return video;
}

// A probe result holding video, followed by an AAC track when audio is set.
inline tq9::MediaInfo SourceWith(const tq9::StreamInfo& video, bool audio = true, int32_t durationMs = 10000)
{
    tq9::MediaInfo info;
    info.durationMs = durationMs;
    info.streams.push_back(video);
    if (audio) {
        tq9::StreamInfo a;
        a.codecId = kAac;
        info.streams.push_back(a);
    }
    return info;
}

inline tq9::MediaInfo Source(uint32_t videoCodec, int w, int h, int darNum = 0, int darDen = 0, bool audio = true,
                             int32_t durationMs = 10000)
{
    return SourceWith(VideoStream(videoCodec, w, h, darNum, darDen), audio, durationMs);
}

inline tq9::ConversionSettings Settings(bool ntsc, bool letterBox)
{
    tq9::ConversionSettings s;
    s.NTSC = ntsc ? 1 : 0;
    s.LetterBox = letterBox ? 1 : 0;
    return s;
}

} // namespace tq9test
