#include "jobs/CardWriteCause.h"

#include <cerrno>
#include <unistd.h>

#include "platform/FileAttributes.h"

#include "platform/ShellFileOperation.h"
#include "res/MessageCatalogue.h"

namespace tq9 {

int CCardWriteCause::Of(int shellCode)
{
    switch (shellCode) {
    case ErrnoCode(ENOSPC):
    case ErrnoCode(EDQUOT):
        return CARD_FULL;
    case DE_FILE_TOO_LARGE:
    case ErrnoCode(EFBIG):
        return FILE_TOO_LARGE;
    case ErrnoCode(EROFS):
        return READ_ONLY;
    case ErrnoCode(EIO):
    case ErrnoCode(ENODEV):
    case ErrnoCode(ENXIO):
    case ErrnoCode(ENOTCONN):
    case ErrnoCode(ESTALE):
        return WRITE_FAILED;
    case ErrnoCode(ECONNABORTED): // a FUSE driver that died mid-write
        return CARD_REMOVED;
    case DE_FILENAMETOOLONG:
    case ErrnoCode(EINVAL):
    case ErrnoCode(EILSEQ):
    case ErrnoCode(ENOENT): // a FUSE exFAT driver's answer to a name it refuses (the folder was there)
        return NAME_REFUSED;
    case ErrnoCode(EACCES):
    case ErrnoCode(EPERM):
        return ACCESS_DENIED;
    case kFolderFullCode:
        return FOLDER_FULL;
    default:
        return 0;
    }
}

int CCardWriteCause::OfWriteInto(int shellCode, const std::string& folder)
{
    const int cause = Of(shellCode);
    if (shellCode == ErrnoCode(ENOENT) && !CFileAttributes::IsDirectory(folder))
        return CARD_REMOVED;
    if (shellCode == ErrnoCode(EPERM) && ::access(folder.c_str(), W_OK) == 0)
        return NAME_REFUSED;
    return cause;
}

std::string CCardWriteCause::MakeFolderFailureText(int err)
{
    std::string text = CMessageCatalogue::Get(IDS_MAKE_FOLDER_FAILED) + "\n";
    if (err == EMLINK)
        return text + CMessageCatalogue::Get(IDS_CARD_FOLDER_LIMIT) + "\n";
    return text + Lines(Of(ErrnoCode(err)));
}

std::string CCardWriteCause::Lines(int code, const std::string& spaceFigures)
{
    struct Line {
        int bit;
        int id;
    };
    static constexpr Line kLines[] = {
        {CARD_FULL, IDS_CARD_FULL},       {FILE_TOO_LARGE, IDS_CARD_FILE_TOO_LARGE},
        {READ_ONLY, IDS_CARD_READ_ONLY},  {WRITE_FAILED, IDS_CARD_WRITE_FAILED},
        {NAME_REFUSED, IDS_CARD_NAME_REFUSED}, {ACCESS_DENIED, IDS_CARD_ACCESS_DENIED},
        {FOLDER_FULL, IDS_TOO_MANY_FILES},    {CARD_REMOVED, IDS_CARD_REMOVED},
    };
    std::string text;
    for (const Line& line : kLines) {
        const uint32_t bit = static_cast<uint32_t>(line.bit) & kAllBits;
        if (!(static_cast<uint32_t>(code) & 0x80000000u) || !(static_cast<uint32_t>(code) & bit))
            continue;
        text += CMessageCatalogue::Get(line.id) + "\n";
        if (line.bit == CARD_FULL && !spaceFigures.empty())
            text += spaceFigures + "\n";
    }
    return text;
}

} // namespace tq9
