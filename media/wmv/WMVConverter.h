// The process-wide converter that writes WMV files for the export job. It keeps the same progress,
// outcome and stop state as CFFMpegConverter (see CConverterState for threads and locks): the progress
// dialog reads it and its cancel calls RequestStop on both converters. It offers the plain chunked copy
// (CopyFile) for card files that need no conversion; during a conversion position and total are in
// milliseconds.
#pragma once

#include "media/Converter.h"
#include "media/ConverterState.h"

namespace tq9 {

class CWMVConverter : public CConverter, public CConverterState {
public:
    // Created on first use (safe when threads race to it), destroyed at process exit.
    static CWMVConverter& Instance();

private:
    CWMVConverter() = default;
    ~CWMVConverter() override = default;
};

} // namespace tq9
