// Internal to the media library: the Transcode callback seen from inside. Sends the events, remembers a
// stop request (the callback's -1) and turns it into an exception at the next check, so a run stops within
// one packet or frame. Used on the caller's thread, but for CheckStop, which any of the run's threads may call.
#pragma once

#include "medialib/Ffmpeg.h"
#include "medialib/tq9media.h"

#include <atomic>

namespace tq9media {

class Reporter {
public:
    Reporter(TranscodeCallback callback, void* user) : m_callback(callback), m_user(user) {}

    // Sends one event; a -1 answer is remembered as a stop request.
    void Send(int kind, int streamId, int64_t value)
    {
        if (m_callback && m_callback(m_user, kind, 0, streamId, value) == -1)
            m_stop = true;
    }

    // Progress in milliseconds, then the stop check.
    void Total(int64_t ms) { Send(TQ9_EVENT_DURATION, 0, Clamp(ms)); }
    void Position(int64_t ms)
    {
        ms = Clamp(ms);
        if (ms < m_position)
            ms = m_position;
        m_position = ms;
        Send(TQ9_EVENT_POSITION, 0, ms);
        CheckStop();
    }
    // Throws when a stop was asked for; called at every packet and frame.
    void CheckStop() const
    {
        if (m_stop)
            throw MediaError(AVERROR(ECANCELED), "stopped by the caller");
    }
    // The last position reported again, as the stop check of a loop that makes no progress of its own.
    void Tick() { Position(m_position); }
    // The same without the throw, for code FFmpeg calls (nothing may unwind through its frames).
    void Poll() { Send(TQ9_EVENT_POSITION, 0, m_position); }
    bool StopRequested() const { return m_stop; }

    void Status(int status) { Send(TQ9_EVENT_STATUS, 0, static_cast<int64_t>(status)); }

private:
    static int64_t Clamp(int64_t ms) { return ms < 0 ? 0 : (ms > INT32_MAX ? INT32_MAX : ms); }

    TranscodeCallback m_callback;
    void* m_user;
    std::atomic<bool> m_stop{false};
    int64_t m_position = 0;
};

} // namespace tq9media
