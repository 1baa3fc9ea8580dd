// Move, copy and delete of whole files for the two callers that hand work to "the shell": the last step of
// an import (temporary folder -> card folder) and the deletion of card files.
//
// Moves and copies place item by item (a media file with its sidecars), each item whole or not at all,
// a failing item never stopping the others; see platform/ItemPlacement.h for how, under kills and
// concurrent runs. In short:
// - a copy is written to a hidden staged name in the destination folder (plus the FAT hidden attribute
//   where the volume has one), flushed, and only then renamed, so a final name never holds a half file;
// - names are picked under a lock on the destination folder and never replace an existing file: on a
//   collision every file of the item takes the next free "name (n).ext" (or the caller's collisionName), so
//   sidecars keep the media's name;
// - a move within one file system is a rename; across file systems it is a copy, and the source is deleted
//   only after the copy sits complete under its final name;
// - an item must fit the destination's free space and its largest file size (CVolumeLimits: FAT 4 GiB - 1),
//   and pass the caller's admit check (a card folder's file limit), under the folder lock before anything
//   of it is written, so two runs placing at once cannot both take the last room.
//
// All reads and writes go through CFileIo in blocks of CFileIo::kBlockSize.
//
// Result codes (0 = success):
//   DE_INVALIDFILES     a source is missing (nothing of its item is done), a destination folder does not exist, or a
//                       deletion names a missing file
//   DE_ACCESSDENIEDSRC  a source cannot be read (EACCES/EPERM on the source side)
//   DE_FILE_TOO_LARGE   a file is larger than the destination volume allows (checked up front) or the
//                       write failed with EFBIG (process file-size limit)
//   DE_FILENAMETOOLONG  ENAMETOOLONG
//   DE_MANYSRC1DEST     source and destination lists differ in length
//   DE_OPCANCELLED      the cancel flag was raised (anyOperationsAborted is set too)
//   ErrnoCode(e)        everything else: kErrnoCodeBase + errno (disk full ENOSPC, I/O error EIO, EACCES on
//                       the destination, EEXIST without rename on collision, EISDIR, ...)
// ErrorName(code) gives the name the debug log shows for a code.
//
// Threads: no state of its own (CStagingName keeps the process-wide set of staged names in use).
#pragma once

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/StagingName.h"

namespace tq9 {

// Operations.
constexpr uint32_t FO_MOVE = 1;
constexpr uint32_t FO_COPY = 2;
constexpr uint32_t FO_DELETE = 3;

// Flags.
constexpr uint32_t FOF_MULTIDESTFILES = 0x1;    // each source has its own destination (always assumed)
constexpr uint32_t FOF_RENAMEONCOLLISION = 0x8; // take "name (2).ext" ... instead of failing with EEXIST
constexpr uint32_t FOF_NOCONFIRMATION = 0x10;   // no prompt (there never is one)

// Result codes with their published values.
constexpr int DE_SAMEFILE = 0x71;
constexpr int DE_MANYSRC1DEST = 0x72;
constexpr int DE_DIFFDIR = 0x73;
constexpr int DE_OPCANCELLED = 0x75;
constexpr int DE_ACCESSDENIEDSRC = 0x78;
constexpr int DE_INVALIDFILES = 0x7C;
constexpr int DE_FILENAMETOOLONG = 0x81;
constexpr int DE_FILE_TOO_LARGE = 0x85;

// Codes for failures no DE_ code describes: base + errno.
constexpr int kErrnoCodeBase = 0x20000;
constexpr int ErrnoCode(int err) { return kErrnoCodeBase + err; }
// The code an admit check gives for a folder that takes no further item (EMLINK: what a file system says
// of a folder that can hold no more).
constexpr int kFolderFullCode = ErrnoCode(EMLINK);

// One request. from/to are parallel lists (to is empty for FO_DELETE).
struct ShellFileOp {
    uint32_t func = 0;
    std::vector<std::string> from;
    std::vector<std::string> to;
    uint32_t flags = 0;
    // Set when the operation stopped before doing everything because of cancel.
    bool anyOperationsAborted = false;
    // Optional: read at every block; when it becomes true the current file is abandoned (its temporary
    // copy removed), nothing further is done and the result is DE_OPCANCELLED.
    const std::atomic<bool>* cancel = nullptr;
    // Optional for moves and copies, parallel to from: the item each file belongs to (files of one item
    // follow each other, the media file first). Without it, files in a row with one destination folder
    // and stem form an item.
    std::vector<size_t> item;
    // Optional for moves and copies with FOF_RENAMEONCOLLISION: the path of the file bound for `to` at
    // collision number n >= 2 (CollisionName when unset). Every file of an item takes the same n.
    std::function<std::string(const std::string& to, int n)> collisionName;
    // Optional: runs after every block a copy writes, with the file's index in from and its bytes so far;
    // returning false cancels as cancel does.
    std::function<bool(size_t index, uint64_t copied)> afterBlock;
    // Optional: read with cancel (at every block, and while waiting for the folder lock); true stops as
    // cancel does.
    std::function<bool()> stopRequested;
    // Optional: runs on the calling thread when the destination folder is locked by another run and the
    // placement starts waiting for it (with the folder), and again with "" when the wait ends.
    std::function<void(const std::string& folder)> lockWait;
    // Optional for moves and copies: asked under the destination folder's lock before each item is
    // written, with the folder; a non-zero code (kFolderFullCode, ...) refuses the item.
    std::function<int(const std::string& folder)> admit;
    // Moves and copies into a card folder: roll forward the items of abandoned journals and remove leftover
    // staged copies there (CStagingName::RemoveLeftovers). Never set for a PC folder, where a name that
    // looks like ours is still the user's.
    bool clearLeftovers = false;
    // Filled by Run for moves and copies, parallel to from: 0 when the file's item landed, else the code
    // that failed the item.
    std::vector<int> results;
    // Filled by Run for moves and copies, parallel to from: the final path each source now has (after any
    // rename on collision), or empty when it was not moved/copied. For FO_DELETE: the paths deleted.
    std::vector<std::string> done;
};

class CShellFileOperation {
public:
    // Runs the request on the calling thread and blocks until it is finished. Moves and copies return 0
    // when every item landed, else the code of the first item that failed (results has each item's);
    // a deletion stops at the first failing file, and what was deleted stays deleted.
    static int Run(ShellFileOp& op);

    // Debug-log name of a code: the DE_ text ("DE_INVALIDFILES", ...), the
    // errno name ("ENOSPC") for an errno code, and "" for 0 and codes without a name.
    static std::string ErrorName(int code);

    // The code of a failed step's errno (the table above); onSource tells which side failed.
    static int CodeFor(int err, bool onSource);

    // The name a collision gives: "name (n).ext" for n >= 2 ("name (n)" without an extension).
    static std::string CollisionName(const std::string& path, int n);

    // Prefix of the temporary names; a name starting with it is ours.
    static constexpr const char* kTempPrefix = CStagingName::kPrefix;
};

} // namespace tq9
