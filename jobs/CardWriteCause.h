// Why a file could not be written onto, or deleted from, a card: the cause (JobOutcome) of the code a shell
// file operation or a system call failed with, as the import, the duplication, the deletion and the making
// of a folder all tell it; and the card's rows of every job's cause table, which words the card operations'
// failures (delete, make folder) as well.
//
// No state; any thread.
#pragma once

#include <string>

#include "jobs/CauseTable.h"
#include "res/MessageCatalogue.h"
#include "jobs/JobOutcome.h"

namespace tq9 {

class CCardWriteCause {
public:
    // The card's causes with their result bits and lines, in the order a message lists them.
    static constexpr CCauseTable::Row kCardRows[] = {
        {JobCause::CardFull, kResultCardFull, {IDS_CARD_FULL}},
        {JobCause::FileTooLarge, kResultFileTooLarge, {IDS_CARD_FILE_TOO_LARGE}},
        {JobCause::ReadOnly, kResultReadOnly, {IDS_CARD_READ_ONLY}},
        {JobCause::WriteFailed, kResultWriteFailed, {IDS_CARD_WRITE_FAILED}},
        {JobCause::NameRefused, kResultNameRefused, {IDS_CARD_NAME_REFUSED}},
        {JobCause::AccessDenied, kResultAccessDenied, {IDS_CARD_ACCESS_DENIED}},
        {JobCause::FolderFull, kResultFolderFull, {IDS_TOO_MANY_FILES}},
        {JobCause::CardRemoved, kResultCardRemoved, {IDS_CARD_REMOVED}},
    };

    // The cause of a shell file operation's failure code on the card's side; JobCause::None when none
    // tells (the caller's "other error").
    static JobCause Of(int shellCode);
    // The same for a failure writing into (or deleting from) folder, which tells apart what one errno
    // means twice: ENOENT or a missing file from a card that was unmounted under the write (the folder is
    // gone) or from a driver refusing a name, EPERM from a folder we may not write or from a FAT driver
    // refusing a name. The outcome keeps shellCode and its name.
    static JobOutcome OfWriteInto(int shellCode, const std::string& folder);
    // What a failed card operation says: its heading (IDS_MAKE_FOLDER_FAILED, IDS_DELETE_FAILED), then the
    // cause's line when there is one; each line ended by "\n".
    static std::string OperationFailureText(int headingId, const JobOutcome& outcome);
    // The outcome of a failed mkdir in device with errno err (the device's folder limit: EMLINK).
    static JobOutcome OfMakeFolder(int err, const std::string& device);
};

} // namespace tq9
