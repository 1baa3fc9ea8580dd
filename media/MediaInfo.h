// What a probe found in a media file: container format, duration and one entry per stream, filled by
// CFFMpegConverter::Probe from the library's information events. Owned by the caller, built fresh for
// every file; belongs to one thread (the probe fills it under the converter's stateLock).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/FFMpegConverter.h"

namespace tq9 {

struct MediaInfo {
    std::string path;       // the probed file, set by Probe before the run
    std::string formatName; // container format name; empty until reported
    int32_t durationMs = 0; // 0 until reported
    // Indexed by the library's stream id.
    std::vector<CFFMpegConverter::StreamInfo> streams;

    // Records one library event: grows streams to cover streamId (for every kind), then stores the value.
    // Stream ids that are negative or absurdly large grow nothing.
    void Record(int kind, int streamId, int64_t value);

    // The first stream whose codec id is a video codec's (below 0x10000), or nullptr. It may have codec
    // id 0 (an entry no STREAM_INFO reached); callers treat that as "no video".
    const CFFMpegConverter::StreamInfo* VideoStream() const;
    // The first stream whose codec id is an audio codec's (0x10000 and above), or nullptr.
    const CFFMpegConverter::StreamInfo* AudioStream() const;
};

// True when the file holds MPEG-4 Part 2 video and MP3 audio (the device's own recordings).
bool IsMpeg4Mp3(const MediaInfo& info);

// Streams beyond this id are not recorded: a bad report must not allocate without bound.
constexpr int kMaxStreamId = 1023;

} // namespace tq9
