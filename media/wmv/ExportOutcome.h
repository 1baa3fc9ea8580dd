// How one WMV export ended, carried unchanged from the stage where it happened (the reader, a decoder, the
// writer) to the export job, which turns it into the user's words. status is the media library's own
// (a negative FFmpeg code: -ENOSPC for a full disk, -EIO for a read error); detail is a few words for the
// debug log and tq9's stderr.
//
// Plain value.
#pragma once

#include <string>

namespace tq9 {

enum class ExportCause {
    None,       // the WMV is complete
    Stopped,    // the user stopped it
    NotMedia,   // the recording cannot be opened as media, or lacks a video or an audio stream
    ReadFailed, // the recording cannot be read or decoded to its end (a damaged file, a pulled card)
    WriteFailed, // the writer could not create or write the WMV (status says why: a full disk, ...)
    EndedEarly, // complete, but the recording holds less than it declares
};

struct ExportOutcome {
    ExportCause cause = ExportCause::None;
    int status = 0;
    std::string detail;

    bool Failed() const { return cause != ExportCause::None && cause != ExportCause::EndedEarly; }
    // The system error behind status (ENOSPC, EIO, ...), 0 when status is no system error.
    int Errno() const { return status < 0 && status > -4096 ? -status : 0; }
};

} // namespace tq9
