// Internal to the media library: the bounds on reading one input. FFmpeg asks the guard before every read
// from the file (the context's interrupt callback), and the guard ends the reading
// - when the caller asked the run to stop: it asks the caller's callback itself every kPollInterval, so a
//   stop is heard while a demuxer reads without handing over packets;
// - when the demuxer has read kGapBytes without handing over a packet: a tail of zeros or junk, which a
//   parser (MP3's, AAC's) would otherwise gather whole into memory, ends the input there;
// - when a budget of time or bytes is spent (only for reads that may give up, such as the duration scan).
// Read wraps av_read_frame and tells which of these ended it.
//
// One guard per input context, made before the context and outliving it; used on the reading thread.
#pragma once

#include "medialib/Ffmpeg.h"

#include <chrono>
#include <cstdint>

namespace tq9media {

class Reporter;

class InputGuard {
public:
    enum class Reason { None, Stopped, NoPackets, OutOfTime, OutOfBytes };

    // reporter: whose callback is asked to go on, and whose stop request ends the reading (may be null).
    explicit InputGuard(Reporter* reporter = nullptr) : m_reporter(reporter) {}
    InputGuard(const InputGuard&) = delete;
    InputGuard& operator=(const InputGuard&) = delete;

    // Gives up after time or bytes more from now (Reason OutOfTime, OutOfBytes).
    void SetBudget(std::chrono::milliseconds time, int64_t bytes);
    // Connects the guard to ctx (allocated, not yet opened): FFmpeg calls it from then on.
    void Attach(AVFormatContext* ctx);

    // av_read_frame, but for an end the guard caused: AVERROR(ECANCELED) for a stop, AVERROR_EOF for a
    // stretch without packets or a spent budget (Why() tells which).
    int Read(AVPacket* packet);
    Reason Why() const { return m_reason; }

    // A packet is read whole between two asks, so even a raw 4K picture never counts as a gap.
    static constexpr int64_t kGapBytes = int64_t(16) << 20;
    static constexpr std::chrono::milliseconds kPollInterval{20};

private:
    static int OnInterrupt(void* self);
    bool ShouldStop();
    int64_t BytesRead() const;

    Reporter* m_reporter;
    AVFormatContext* m_ctx = nullptr;
    Reason m_reason = Reason::None;
    int64_t m_bytesAtPacket = 0;
    int64_t m_byteLimit = -1; // absolute count of bytes read; -1 none
    std::chrono::steady_clock::time_point m_deadline = std::chrono::steady_clock::time_point::max();
    std::chrono::steady_clock::time_point m_lastPoll = std::chrono::steady_clock::now();
};

} // namespace tq9media
