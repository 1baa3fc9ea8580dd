// A WMV writer that records what the export pipeline hands it instead of encoding: the settings, every
// picture's time, the sound frames and their times, the threads that called, and how the file ended. It
// writes a small file at open so the pipeline's clean-up can be seen.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "media/wmv/ExportWriter.h"

namespace tq9test {

class FakeWriter {
public:
    FakeWriter()
    {
        Current() = this;
        const tq9::WriterFunctions fake{&Open, &Video, &Audio, &Close, &Abort};
        m_previous = tq9::CExportWriter::SetFunctions(&fake);
    }
    ~FakeWriter()
    {
        tq9::CExportWriter::SetFunctions(&m_previous);
        Current() = nullptr;
    }

    // Steering, set before the run.
    int failVideoAt = -1;           // the n-th picture (0-based) fails
    int failStatus = -5;            // with this status
    std::chrono::milliseconds pictureDelay{0};

    // What was seen; read after the run.
    Tq9WriterSettings settings{};
    std::string path;
    std::vector<int64_t> videoPts;
    std::vector<int64_t> audioPts;
    int64_t audioFrames = 0;
    std::set<std::thread::id> videoThreads, audioThreads;
    std::atomic<bool> overlapped{false}; // a video and an audio call were inside the writer at the same time
    std::atomic<int> pictures{0};        // pictures taken so far, readable while the run goes on
    int closes = 0, aborts = 0;

private:
    static FakeWriter*& Current()
    {
        static FakeWriter* current = nullptr;
        return current;
    }
    static Tq9MediaWriter* Handle() { return reinterpret_cast<Tq9MediaWriter*>(Current()); }

    static int Open(const char* pathUtf8, const Tq9WriterSettings* settings, Tq9MediaWriter** writer)
    {
        FakeWriter* self = Current();
        self->settings = *settings;
        self->path = pathUtf8;
        const int fd = ::open(pathUtf8, O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::close(fd);
        *writer = Handle();
        return 0;
    }
    static int Video(Tq9MediaWriter*, const uint8_t* const planes[3], const int lineSizes[3], int64_t ptsUs)
    {
        FakeWriter* self = Current();
        self->inVideo = true;
        if (self->inAudio)
            self->overlapped = true;
        std::this_thread::sleep_for(self->pictureDelay);
        std::lock_guard<std::mutex> lock(self->m_lock);
        self->inVideo = false;
        if (!planes[0] || !planes[1] || !planes[2] || lineSizes[0] < self->settings.width)
            return -22;
        self->videoThreads.insert(std::this_thread::get_id());
        if (static_cast<int>(self->videoPts.size()) == self->failVideoAt)
            return self->failStatus;
        self->videoPts.push_back(ptsUs);
        ++self->pictures;
        return 0;
    }
    static int Audio(Tq9MediaWriter*, const int16_t* samples, int frames, int64_t ptsUs)
    {
        FakeWriter* self = Current();
        self->inAudio = true;
        if (self->inVideo)
            self->overlapped = true;
        // Long enough for the other stream's call to come in while this one is inside.
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        std::lock_guard<std::mutex> lock(self->m_lock);
        self->inAudio = false;
        if (!samples || frames <= 0)
            return -22;
        self->audioThreads.insert(std::this_thread::get_id());
        self->audioPts.push_back(ptsUs);
        self->audioFrames += frames;
        return 0;
    }
    static int Close(Tq9MediaWriter*)
    {
        ++Current()->closes;
        return 0;
    }
    static void Abort(Tq9MediaWriter*)
    {
        FakeWriter* self = Current();
        ++self->aborts;
        std::remove(self->path.c_str());
    }

    std::mutex m_lock;
    std::atomic<bool> inVideo{false}, inAudio{false};
    tq9::WriterFunctions m_previous{};
};

} // namespace tq9test
