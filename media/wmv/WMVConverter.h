// The process-wide converter that writes WMV files for the export job. It keeps the same progress,
// outcome and stop state as CFFMpegConverter (see CConverterState for threads and locks): the progress
// dialog reads it and its cancel calls RequestStop on both converters. It offers the plain chunked copy
// (CopyFile) for card files that need no conversion; during a conversion position and total are in
// milliseconds.
#pragma once

#include "media/Converter.h"
#include "media/ConverterState.h"

#include <string>

namespace tq9 {

class CWMVConverter : public CConverter, public CConverterState {
public:
    // Created on first use (safe when threads race to it), destroyed at process exit.
    static CWMVConverter& Instance();

    // Writes destination as a WMV file from any media file with a video and an audio stream. Returns 0
    // when the file is complete (result 0), -1 otherwise (result kConverterFailed); a failed or stopped
    // conversion leaves no destination behind.
    int ConvertToWmv(const std::string& source, const std::string& destination);
    // Why the last ConvertToWmv failed, in a few words for a log or tq9's stderr; empty after a success.
    std::string LastError() const;

private:
    CWMVConverter() = default;
    ~CWMVConverter() override = default;

    void SetLastError(const std::string& why);

    std::string m_lastError; // guarded by stateLock
};

} // namespace tq9
