// A stand-in for the media library's Transcode: records every argument vector and plays a scripted
// sequence of callback events, so converter tests run without FFmpeg.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "media/FFMpegConverter.h"

namespace tq9test {

class FakeLibrary {
public:
    using Args = std::vector<std::string>;
    // Runs inside Transcode; send() delivers one event and returns the callback's answer.
    using Send = std::function<int(int kind, int streamId, int64_t value)>;
    using Script = std::function<int(const Send& send)>;

    FakeLibrary() { m_previous = tq9::CFFMpegConverter::SetTranscodeFunction(&FakeLibrary::Transcode); Current() = this; }
    ~FakeLibrary()
    {
        tq9::CFFMpegConverter::SetTranscodeFunction(m_previous);
        Current() = nullptr;
    }
    FakeLibrary(const FakeLibrary&) = delete;
    FakeLibrary& operator=(const FakeLibrary&) = delete;

    // Without a script each run reports status 0 and returns 0.
    void SetScript(Script script) { m_script = std::move(script); }

    std::vector<Args> Calls() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_calls;
    }
    Args LastCall() const
    {
        auto calls = Calls();
        return calls.empty() ? Args{} : calls.back();
    }

private:
    static FakeLibrary*& Current()
    {
        static FakeLibrary* current = nullptr;
        return current;
    }

    static int Transcode(TranscodeCallback callback, void* user, int argc, const char* const* argv)
    {
        FakeLibrary* self = Current();
        {
            std::lock_guard<std::mutex> lock(self->m_lock);
            self->m_calls.emplace_back(argv, argv + argc);
        }
        Send send = [&](int kind, int streamId, int64_t value) { return callback(user, kind, 0, streamId, value); };
        if (self->m_script)
            return self->m_script(send);
        send(TQ9_EVENT_STATUS, 0, 0);
        return 0;
    }

    tq9::CFFMpegConverter::TranscodeFunction m_previous = nullptr;
    Script m_script;
    mutable std::mutex m_lock;
    std::vector<Args> m_calls;
};

} // namespace tq9test
