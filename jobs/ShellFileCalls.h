// The callers' side of the shell file operations: the import's final move-or-copy of its converted files
// into the card folder, the deletion of card files, and the debug-log line naming a failure code.
//
// Called on the user-interface thread (or the command-line front-end's thread); blocks for the duration
// of the operation. No state of its own.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "card/ImportSystemFile.h"
#include "card/TQ9SystemFile.h"
#include "jobs/JobOutcome.h"

namespace tq9 {

// Index of a part in ImportResultT::landed.
enum ImportPart { PART_MEDIA = 0, PART_THUMBNAIL = 1, PART_MARKER = 2 };

struct ImportResultT {
    int code = 0;                      // 0 or the operation's code (see platform/ShellFileOperation.h)
    bool aborted = false;              // the operation was cancelled part-way
    bool moved = false;                // true: moved (same file system); false: copied
    // Per record, per part (PART_*): the path the part now has on the card, which differs from its
    // destination path after a rename on collision; empty when the part did not land or has no flag.
    std::vector<std::array<std::string, 3>> landed;
    // Per record: 0 when it landed, else the code that kept it off the card.
    std::vector<int> codes;

    bool Succeeded() const { return code == 0 && !aborted; }
    // True when every part the record's flags name has landed.
    bool RecordLanded(size_t index, uint32_t flags) const;
};

class CShellFileCalls {
public:
    // Moves (temporary folder and card folder on one file system) or copies every part of every record
    // to its destination, renaming on collision. Each record lands whole or not at all, and one failing
    // does not stop the others; the failure's code name goes to the debug log. stop, when set, is asked at
    // every block and while waiting for the card folder's lock (ShellFileOp::stopRequested); lockWait hears
    // that wait (ShellFileOp::lockWait). copied, when set, hears the bytes copied so far of the total bytes
    // to copy (a move within one file system copies nothing): once with 0 before the first file, then after
    // every block.
    using CopiedBytes = std::function<void(uint64_t copied, uint64_t total)>;
    static ImportResultT MoveOrCopyImport(const std::string& tempFolder, const std::string& destinationFolder,
                                          const std::vector<CTQ9ImportSystemFile>& records,
                                          const std::function<bool()>& stop = {},
                                          const std::function<void(const std::string&)>& lockWait = {},
                                          const CopiedBytes& copied = {});

    // Deletes the media file and existing sidecars of each record, permanently. The outcome says why it
    // failed (the card's cause, else JobCause::Other; also when records is empty); files deleted before a
    // failure stay deleted.
    static JobOutcome DeleteCardFiles(const std::vector<CTQ9SystemFile>& records);
    // The file list's deletion: builds a record from each selected card media path (list order) and
    // deletes them as above. JobCause::Other at once when nothing is selected or a path is not a card
    // media item. On success leftInPlace (when given) receives the sidecar names of the deleted items that
    // something other than a regular file holds (a folder, a link): they are no part of the item and stay.
    static JobOutcome DeleteSelected(const std::vector<std::string>& selectedPaths,
                                     std::vector<std::string>* leftInPlace = nullptr);

    // The admit check of every placement into a card folder: 0, or kFolderFullCode when the folder holds
    // as many media files as the device allows.
    static int AdmitCardItem(const std::string& folder);

    // Writes the name of a failure code to the debug log (nothing for 0 or a code without a name).
    static void LogErrorName(int code);
};

} // namespace tq9
