// The moves and copies of the shell file operations, item by item. An item is a media file with the
// sidecars that follow it (ShellFileOp::item, or else files in a row with one folder and stem); each item
// lands whole or not at all, and a failing item never stops the ones after it:
// 1. the folder lock is taken (CFolderLock) and leftovers of cut-short runs are cleared;
// 2. copies are written to staged names in the destination folder and flushed;
// 3. the item's names are picked (one collision number for all its files, names compared as a card
//    compares them), a journal lists them, the sidecars get their final names and the media file last,
//    the journal goes;
// 4. a failure rolls the item back: renamed files go back (moves) or are removed (copies).
// A kill at any step leaves staged names and at most one journal, which the next placement into that
// folder clears (CStagingName::RemoveLeftovers), so the card never shows a half item for long.
//
// No state of its own; the calling thread blocks.
#pragma once

#include <functional>
#include <string>

#include "platform/ShellFileOperation.h"

namespace tq9 {

class CItemPlacement {
public:
    // FO_MOVE and FO_COPY of CShellFileOperation::Run.
    static int Transfer(ShellFileOp& op);

    // Copies from into the new file staged (hidden while written) and flushes it; afterBlock returning
    // false stops it with stopped set (DE_OPCANCELLED). The caller removes staged on failure.
    static int WriteStaged(const std::string& from, const std::string& staged,
                           const std::function<bool(uint64_t)>& afterBlock, bool& stopped);
};

} // namespace tq9
