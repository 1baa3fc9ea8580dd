// The ASF writer filter: a renderer with two input pins, "Video Input 01" (planar YV12) and "Audio Input
// 01" (16-bit PCM), that hands what they receive to the media library's WMV writer (Tq9Writer*). It owns
// the profile the converter adjusts: the video stream's bit rate and frame size, the audio stream's bit
// rate. Each pin's samples are encoded on that pin's streaming thread, so video and audio encode at the
// same time. When both pins have seen the end of their streams the writer closes the file and the filter
// reports EC_COMPLETE; a writer failure reports EC_ERRORABORT. A stop before that aborts the writer, which
// removes the partly written file.
//
// Threads: SetFileName, the profile, Run and Stop on the graph's controlling thread while stopped; the
// pins' Receive and EndOfStream on the source's streaming threads.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "medialib/tq9media.h"
#include "platform/streaming/AsfProfile.h"
#include "platform/streaming/BaseFilter.h"
#include "platform/streaming/BaseInputPin.h"

namespace tq9 {

// The writer's C ABI; tests substitute a fake to see what the filter writes.
struct AsfWriterFunctions {
    int (*open)(const char* pathUtf8, const Tq9WriterSettings* settings, Tq9MediaWriter** writer);
    int (*video)(Tq9MediaWriter* writer, const uint8_t* const planes[3], const int lineSizes[3], int64_t ptsUs);
    int (*audio)(Tq9MediaWriter* writer, const int16_t* samples, int frames, int64_t ptsUs);
    int (*close)(Tq9MediaWriter* writer);
    void (*abort)(Tq9MediaWriter* writer);
};

class CAsfWriterFilter : public CBaseFilter {
public:
    CAsfWriterFilter();
    ~CAsfWriterFilter() override;

    // Installs functions for every filter run from now on (nullptr restores the media library's) and
    // returns the previous ones.
    static AsfWriterFunctions SetWriterFunctions(const AsfWriterFunctions* functions);

    int GetPinCount() override { return 2; }
    CBasePin* GetPin(int n) override;

    // The file to write (the file sink).
    HRESULT SetFileName(const std::string& path);
    // The profile, read and applied by the converter. Applying refuses a profile without a video and an
    // audio stream or with one the writer cannot encode.
    HRESULT GetCurrentProfile(CAsfProfile& profile) const;
    HRESULT ConfigureFilterUsingProfile(const CAsfProfile& profile);

    // Opens the writer with the profile's bit rates, frame size and sound format (the sound that arrives
    // is resampled to it) and the connected pins' frame rate, picture aspect (the file declares the pixel
    // shape that shows it), sample rate and channels.
    // VFW_E_TYPE_NOT_ACCEPTED when the profile's frame size is not the pictures'.
    HRESULT Run() override;
    HRESULT Stop() override;

    // Why the last run failed, for the converter's message; empty when nothing failed.
    std::string LastError() const;

private:
    class CInputPin;
    friend class CInputPin;

    HRESULT ReceiveVideo(const CMediaSample& sample);
    HRESULT ReceiveAudio(const CMediaSample& sample);
    HRESULT EndOfStream(bool video);
    HRESULT Fail(int status, const char* what);

    std::unique_ptr<CInputPin> m_videoPin;
    std::unique_ptr<CInputPin> m_audioPin;
    std::string m_fileName;
    CAsfProfile m_profile;
    AsfWriterFunctions m_functions{};

    mutable std::mutex m_lock; // guards the fields below
    Tq9MediaWriter* m_writer = nullptr;
    bool m_videoEnded = false;
    bool m_audioEnded = false;
    std::string m_lastError;
    std::atomic<bool> m_failed{false};
    int m_width = 0, m_height = 0, m_channels = 0;
};

} // namespace tq9
