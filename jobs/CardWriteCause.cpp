#include "jobs/CardWriteCause.h"

#include <cerrno>
#include <iterator>
#include <unistd.h>

#include "jobs/CauseTable.h"
#include "platform/FileAttributes.h"
#include "platform/ShellFileOperation.h"
#include "res/MessageCatalogue.h"

namespace tq9 {

JobCause CCardWriteCause::Of(int shellCode)
{
    switch (shellCode) {
    case ErrnoCode(ENOSPC):
    case ErrnoCode(EDQUOT):
        return JobCause::CardFull;
    case DE_FILE_TOO_LARGE:
    case ErrnoCode(EFBIG):
        return JobCause::FileTooLarge;
    case ErrnoCode(EROFS):
        return JobCause::ReadOnly;
    case ErrnoCode(EIO):
    case ErrnoCode(ENODEV):
    case ErrnoCode(ENXIO):
    case ErrnoCode(ENOTCONN):
    case ErrnoCode(ESTALE):
        return JobCause::WriteFailed;
    case ErrnoCode(ECONNABORTED): // a FUSE driver that died mid-write
        return JobCause::CardRemoved;
    case DE_FILENAMETOOLONG:
    case ErrnoCode(EINVAL):
    case ErrnoCode(EILSEQ):
    case ErrnoCode(ENOENT): // a FUSE exFAT driver's answer to a name it refuses (the folder was there)
        return JobCause::NameRefused;
    case ErrnoCode(EACCES):
    case ErrnoCode(EPERM):
        return JobCause::AccessDenied;
    case kFolderFullCode:
        return JobCause::FolderFull;
    default:
        return JobCause::None;
    }
}

JobOutcome CCardWriteCause::OfWriteInto(int shellCode, const std::string& folder)
{
    JobOutcome outcome{Of(shellCode), shellCode, CShellFileOperation::ErrorName(shellCode), {}};
    const bool gone = shellCode == ErrnoCode(ENOENT) || shellCode == DE_INVALIDFILES;
    if (gone && !CFileAttributes::IsDirectory(folder))
        outcome.cause = JobCause::CardRemoved;
    else if (shellCode == ErrnoCode(EPERM) && ::access(folder.c_str(), W_OK) == 0)
        outcome.cause = JobCause::NameRefused;
    return outcome;
}

JobOutcome CCardWriteCause::OfMakeFolder(int err, const std::string& device)
{
    if (err == EMLINK)
        return {JobCause::FolderLimit, err, "EMLINK", {}};
    JobOutcome outcome = OfWriteInto(ErrnoCode(err), device);
    outcome.code = err;
    return outcome;
}

std::string CCardWriteCause::OperationFailureText(int headingId, const JobOutcome& outcome)
{
    // The heading says what failed; the card's line says why (the folder limit is the card's alone).
    static const CCauseTable kCardOperations({{JobCause::FolderLimit, 0, {IDS_CARD_FOLDER_LIMIT}}}, kCardRows,
                                             std::size(kCardRows));
    const std::string text = CMessageCatalogue::Get(headingId) + "\n";
    const std::string why = kCardOperations.FailureText(outcome, std::string());
    return why.size() > 1 ? text + why.substr(0, why.size() - 1) : text;
}

} // namespace tq9
