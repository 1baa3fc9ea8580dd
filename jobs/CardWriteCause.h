// Why a file could not be written onto a card, as the import and the duplication both tell it: one result
// bit per cause, each with its catalogue line (IDS_CARD_FULL to IDS_CARD_ACCESS_DENIED and
// IDS_TOO_MANY_FILES), from the code a shell file operation failed with. The bits sit above the jobs' own
// codes, so a job may OR them into its result.
//
// No state; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace tq9 {

class CCardWriteCause {
public:
    static constexpr int CARD_FULL = static_cast<int>(0x80000080u);      // + the figures, when known
    static constexpr int FILE_TOO_LARGE = static_cast<int>(0x80000100u); // FAT's 4 GiB per file
    static constexpr int READ_ONLY = static_cast<int>(0x80000200u);
    static constexpr int WRITE_FAILED = static_cast<int>(0x80000400u);   // card gone, I/O error
    static constexpr int NAME_REFUSED = static_cast<int>(0x80000800u);   // refused or too long a name
    static constexpr int ACCESS_DENIED = static_cast<int>(0x80001000u);
    static constexpr int FOLDER_FULL = static_cast<int>(0x80002000u);   // the device's files per folder
    static constexpr int CARD_REMOVED = static_cast<int>(0x80004000u);  // the card or its driver went away
    static constexpr uint32_t kAllBits = 0x7F80u;

    // The cause of a shell file operation's failure code on the card's side; 0 when none of the above.
    static int Of(int shellCode);
    // The same for a failure writing into folder, which tells apart what one errno means twice: ENOENT
    // from a card that was unmounted under the write (the folder is gone) or from a driver refusing a
    // name, EPERM from a folder we may not write or from a FAT driver refusing a name.
    static int OfWriteInto(int shellCode, const std::string& folder);
    // What a failed mkdir of a card folder says: IDS_MAKE_FOLDER_FAILED and, when errno tells, the cause's
    // line (the device's folder limit: IDS_CARD_FOLDER_LIMIT).
    static std::string MakeFolderFailureText(int err);
    // One line ("...\n") per cause bit set in code, in bit order; after the card-full line,
    // spaceFigures and "\n" when it is not empty.
    static std::string Lines(int code, const std::string& spaceFigures = std::string());
};

} // namespace tq9
