// The process-wide converter that writes WMV files for the export job. It keeps the same progress
// and stop state as CFFMpegConverter (see CConverterState for threads and locks): the progress
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

    // Writes destination as a WMV file from any media file with a video and an audio stream, and returns
    // how that ended, with the failing stage's own status; a failed or stopped conversion leaves no
    // destination behind.
    // A source that decodes to more than a second less than it declares, or than expectedMs (the card's
    // .mrk length; 0 when unknown), ended early: the outcome EndedEarly ("the recording ended early"); the
    // destination then holds the complete WMV of what could be decoded, for the caller to keep or remove.
    ExportOutcome ConvertToWmv(const std::string& source, const std::string& destination, int64_t expectedMs = 0);
    // How much shorter than declared a source may decode before it counts as ended early.
    static constexpr int64_t kEndedEarlyToleranceMs = 1000;

private:
    CWMVConverter() = default;
    ~CWMVConverter() override = default;

    // Removes the destination of a failed conversion; returns outcome.
    static ExportOutcome End(const std::string& destination, const ExportOutcome& outcome);
};

} // namespace tq9
