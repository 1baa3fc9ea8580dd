// What a probe found in a media file: container format, duration and one entry per stream, filled by
// CFFMpegConverter::Probe from the library's information events. Owned by the caller, built fresh for
// every file; belongs to one thread (the probe fills it under the converter's stateLock).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tq9 {

// One stream of a probed file; a fresh entry is all zero.
struct StreamInfo {
    uint32_t codecId = 0; // below 0x10000 video, 0x10000 and above audio; 13 MPEG-4 Part 2, 0x15001 MP3
    int32_t width = 0;
    int32_t height = 0;
    int32_t parNum = 0;
    int32_t parDen = 0;
    int32_t darNum = 0; // 0: not reported
    int32_t darDen = 0;
    double videoBitRate = 0;
    double audioBitRate = 0;
    int32_t sampleRate = 0;
    int32_t channels = 0;
    int32_t rotation = 0; // degrees clockwise the picture is shown turned (0, 90, 180, 270)
};

struct MediaInfo {
    std::string path;       // the probed file, set by Probe before the run
    std::string formatName; // container format name; empty until reported
    int32_t durationMs = 0; // 0 until reported
    bool durationEstimated = false; // the container's estimate: the file was too long to measure
    // Indexed by the library's stream id.
    std::vector<StreamInfo> streams;

    // Records one library event: grows streams to cover streamId (for every kind), then stores the value.
    // Stream ids that are negative or absurdly large grow nothing.
    void Record(int kind, int streamId, int64_t value);

    // The first stream whose codec id is a video codec's (below 0x10000), or nullptr. It may have codec
    // id 0 (an entry no STREAM_INFO reached); callers treat that as "no video".
    const StreamInfo* VideoStream() const;
    // The first stream whose codec id is an audio codec's (0x10000 and above), or nullptr.
    const StreamInfo* AudioStream() const;
};

// True when the file holds MPEG-4 Part 2 video and MP3 audio (the device's own recordings).
bool IsMpeg4Mp3(const MediaInfo& info);

// Streams beyond this id are not recorded: a bad report must not allocate without bound.
constexpr int kMaxStreamId = 1023;

} // namespace tq9
