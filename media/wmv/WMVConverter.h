// The process-wide converter that writes WMV files for the export job. It keeps the same progress,
// outcome and stop state as CFFMpegConverter (see CConverterState for threads and locks): the progress
// dialog reads it and its cancel calls RequestStop on both converters. It offers the plain chunked copy
// (CopyFile) for card files that need no conversion; during a conversion position and total are in
// milliseconds.
//
// ConvertToWmv builds a streaming graph of two filters, CFFPushSource (decoding the source) and the ASF
// writer filter (encoding into the file), adjusts the writer's profile to the source, runs the graph on
// the streaming threads and waits for it on the calling thread in steps of 500 ms, publishing progress
// and watching for a stop request between the steps.
#pragma once

#include <cstdint>
#include <string>

#include "media/Converter.h"
#include "media/ConverterState.h"
#include "platform/streaming/AsfProfile.h"

namespace tq9 {

class CWMVConverter : public CConverter, public CConverterState {
public:
    // Created on first use (safe when threads race to it), destroyed at process exit.
    static CWMVConverter& Instance();

    // Writes destination as a WMV file from any media file with a video and an audio stream. Returns 0
    // when the file is complete (result 0), -1 otherwise (result kConverterFailed); a failed or stopped
    // conversion leaves no destination behind.
    // A source that decodes to more than a second less than it declares, or than expectedMs (the card's
    // .mrk length; 0 when unknown), ended early: -1 with result kConverterEndedEarly and LastError
    // "the recording ended early"; the destination then holds the complete WMV of what could be decoded,
    // for the caller to keep or remove.
    int ConvertToWmv(const std::string& source, const std::string& destination, int64_t expectedMs = 0);
    // How much shorter than declared a source may decode before it counts as ended early.
    static constexpr int64_t kEndedEarlyToleranceMs = 1000;
    // Why the last ConvertToWmv failed, in a few words for a log or tq9's stderr; empty after a success.
    std::string LastError() const;

    // Adjusts a writer profile to a source: 6,000,000 bit/s video at the source's frame size, and the
    // audio row for the source's sample rate and bit rate. Fails when the profile's video format is not
    // the 88-byte video info block or its audio format not the 28-byte wave format block.
    static HRESULT AdjustProfile(CAsfProfile& profile, int width, int height, uint32_t audioBitRate,
                                 int sampleRate);

    // The audio table: one row is chosen by the source's audio bit rate (the first whose threshold is 0
    // or above it).
    struct AudioRow {
        uint32_t below;          // 0: no threshold
        uint32_t bitrate;        // stream bit rate
        uint32_t avgBytesPerSec;
        uint16_t blockAlign;
    };
    static const AudioRow& ChooseAudioRow(int sampleRate, uint32_t audioBitRate);

private:
    CWMVConverter() = default;
    ~CWMVConverter() override = default;

    // Returns -1 with result kConverterFailed and why remembered, and no destination left.
    int Fail(const std::string& destination, const std::string& why);

    std::string m_lastError; // guarded by stateLock
};

} // namespace tq9
