// Why one step of an import or a duplication failed, or why the whole request was refused: the cause, the
// system's or the shell file operation's code behind it and a few words for the debug log, carried unchanged
// from the call that failed up to the job's report, which alone turns the cause into the user's words (one
// table per job). The jobs' result codes at their boundaries (Prepare, Run) are bit sets of the kResult*
// values below, the same value for the same name in every job.
//
// Plain value.
#pragma once

#include <cstdint>
#include <string>

namespace tq9 {

enum class JobCause : uint8_t {
    None,
    NotDirectory, // the destination is not a folder
    HasDirectory, // a source is a folder
    CannotOpen,   // a source is missing at the start
    KindRefused,  // a source of a kind the job does not take
    NotMedia,     // a source that cannot be read as media at all
    NotConverted, // a source whose conversion failed
    SourceGone,   // a source vanished or became unreadable while it was copied
    CardFull,     // + the figures, when known
    FileTooLarge, // FAT's 4 GiB per file
    ReadOnly,
    WriteFailed,  // an I/O error, a device gone under the write
    NameRefused,  // a refused or too long a name
    AccessDenied,
    FolderFull,   // the device's files per folder
    FolderLimit,  // the device's folders per card
    CardRemoved,  // the card or its driver went away
    Other,
};

struct JobOutcome {
    JobCause cause = JobCause::None;
    int code = 0;        // the errno, or the shell file operation's code, behind cause; 0 when none
    std::string detail;  // for the debug log and tq9's stderr
    std::string figures; // needed and free space, for CardFull

    bool Failed() const { return cause != JobCause::None; }
};

// Result bits; each stands for one line (or pair of lines) of a job's message.
constexpr int kResultNotDirectory = static_cast<int>(0x80000001u);
constexpr int kResultHasDirectory = static_cast<int>(0x8000000Cu); // invalid type + including a folder
constexpr int kResultCannotOpen = static_cast<int>(0x80000014u);   // invalid type + cannot open
constexpr int kResultSourceGone = static_cast<int>(0x80000010u);   // cannot open
constexpr int kResultNotImported = static_cast<int>(0x80000020u);
constexpr int kResultOtherError = static_cast<int>(0x80000040u);
constexpr int kResultCardFull = static_cast<int>(0x80000080u);
constexpr int kResultFileTooLarge = static_cast<int>(0x80000100u);
constexpr int kResultReadOnly = static_cast<int>(0x80000200u);
constexpr int kResultWriteFailed = static_cast<int>(0x80000400u);
constexpr int kResultNameRefused = static_cast<int>(0x80000800u);
constexpr int kResultAccessDenied = static_cast<int>(0x80001000u);
constexpr int kResultFolderFull = static_cast<int>(0x80002000u);
constexpr int kResultCardRemoved = static_cast<int>(0x80004000u);

} // namespace tq9
