// The process-wide converter that writes WMV files for the export job. It keeps the same progress,
// outcome and stop state as CFFMpegConverter (see CConverterState for threads and locks): the progress
// dialog reads it and its cancel calls RequestStop on both converters. It offers the plain chunked copy
// (CopyFile) for card files that need no conversion; during a conversion position and total are in
// milliseconds.
//
// ConvertToWmv runs one export pipeline (CExportPipeline: read, decode, bounded queues, the library's
// writer) and waits for it on the calling thread in steps of 500 ms, publishing progress and watching for
// a stop request between the steps.
#pragma once

#include <cstdint>
#include <string>

#include "media/Converter.h"
#include "media/ConverterState.h"
#include "media/wmv/ExportOutcome.h"

namespace tq9 {

class CWMVConverter : public CConverter, public CConverterState {
public:
    // Created on first use (safe when threads race to it), destroyed at process exit.
    static CWMVConverter& Instance();

    // Writes destination as a WMV file from any media file with a video and an audio stream. Returns 0
    // when the file is complete (result 0), -1 otherwise (result kConverterFailed); a failed or stopped
    // conversion leaves no destination behind. LastOutcome says why.
    // A source that decodes to more than a second less than it declares, or than expectedMs (the card's
    // .mrk length; 0 when unknown), ended early: -1 with result kConverterEndedEarly and the outcome
    // EndedEarly ("the recording ended early"); the destination then holds the complete WMV of what could
    // be decoded, for the caller to keep or remove.
    int ConvertToWmv(const std::string& source, const std::string& destination, int64_t expectedMs = 0);
    // How much shorter than declared a source may decode before it counts as ended early.
    static constexpr int64_t kEndedEarlyToleranceMs = 1000;
    // How the last ConvertToWmv ended, with the failing stage's own status.
    ExportOutcome LastOutcome() const;
    // Its detail in a few words for a log or tq9's stderr; empty after a success.
    std::string LastError() const;

private:
    CWMVConverter() = default;
    ~CWMVConverter() override = default;

    // Publishes the outcome; -1 with result kConverterFailed, or kConverterEndedEarly.
    int End(const std::string& destination, const ExportOutcome& outcome);

    ExportOutcome m_outcome; // guarded by stateLock
};

} // namespace tq9
