// Records of media items on a card: which of the media file, its ".thm" thumbnail and its ".mrk" length
// sidecar exist, and what kind of media the item is. Plus the helpers every record shares: extension
// tables, the path split rule and the free-base-name rule.
//
// Records are plain values, copied into arrays; no locking (each belongs to one thread at a time).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tq9 {

// Which files of an item exist or are to be produced.
constexpr uint32_t FILE_MEDIA = 0x1;
constexpr uint32_t FILE_THUMBNAIL = 0x2;
constexpr uint32_t FILE_MARKER = 0x4;

// The parts each kind of item has on a card.
constexpr uint32_t kVideoParts = FILE_MEDIA | FILE_THUMBNAIL | FILE_MARKER;
constexpr uint32_t kAudioParts = FILE_MEDIA | FILE_MARKER;
constexpr uint32_t kStillParts = FILE_MEDIA | FILE_THUMBNAIL;

// What kind of media an item is, and hence how a job treats it.
constexpr uint32_t KIND_COPY = 0x1;
constexpr uint32_t KIND_VIDEO = 0x2;
constexpr uint32_t KIND_STILL = 0x4;
constexpr uint32_t KIND_AUDIO = 0x8;
constexpr uint32_t KIND_MP4_PROBE = 0x10;

// One row of an extension table. Tables end with a row whose extension is empty; a failed lookup yields
// that end row (no target, flags 0, kind 0).
struct ExtensionRow {
    const char* extension;
    const char* target;
    uint32_t flags;
    uint32_t kind;
};

// Case-insensitive (ASCII) lookup; returns the end row when nothing matches.
const ExtensionRow& LookupExtension(const ExtensionRow* table, const std::string& extension);

// The table used when reading a card folder.
extern const ExtensionRow kCardExtensionTable[];

// folder, base name and extension of a full path. When the last "." is not after the last "/", the
// folder is the whole path and base and extension are empty; SplitPath then returns false.
struct SplitPathResult {
    std::string folder;
    std::string base;
    std::string extension;
};
bool SplitPath(const std::string& path, SplitPathResult& out);
// The extension alone; false when the path has none by the same rule.
bool GetExtension(const std::string& path, std::string& extension);
// True when the path has an extension that is neither exactly "mrk" nor exactly "thm".
bool IsListable(const std::string& path);
// True for a name a run writes in its working folder: a base name and an extension that the import or
// the export produces or keeps, a sidecar's, "wmv" or "passlog" (compared as LookupExtension does).
bool IsWorkingFileName(const std::string& name);
// The long form of path, which must name a file: throws CUserException for a missing path, a folder or a
// path without a long form.
std::string LongFilePath(const std::string& path);

class CTQ9SystemFileBase {
public:
    CTQ9SystemFileBase() = default;
    virtual ~CTQ9SystemFileBase() = default;
    CTQ9SystemFileBase(const CTQ9SystemFileBase&) = default;
    CTQ9SystemFileBase& operator=(const CTQ9SystemFileBase&) = default;

    uint32_t flags = 0;
    uint32_t kind = 0;
};

// One media item found in a card folder.
class CTQ9SystemFile : public CTQ9SystemFileBase {
public:
    std::string path;
    std::string thumbnailPath;
    std::string markerPath;
    // Sidecar names taken by something that is not a regular file (left out of the item).
    std::vector<std::string> strayEntries;

    // Fills the record from the full path of a file in a card folder. Throws CUserException for a path
    // that cannot describe a media item (missing, a folder, a sidecar, too long).
    void InitFromCardPath(const std::string& cardPath);
    // True when the record describes usable files (see the flags).
    bool IsValid() const;
    // Seconds stored in the .mrk sidecar; 0 when there is none or it is shorter than 4 bytes.
    uint32_t MarkerSeconds() const;
};

// The long forms of a source file and a destination folder, checked as every transfer record checks them.
// Throws CUserException when the destination is not a folder, the source is missing or a folder, or either
// has no long form.
struct TransferPaths {
    std::string source;
    std::string destination;
};
TransferPaths CheckTransferPaths(const std::string& destination, const std::string& source);

// Reserves a name a record will write by creating the file empty, and returns path. An existing file is
// refused (throws CUserException), never replaced: the free-name rule only looks at some names, so an
// existing one belongs to another item or to another writer that got there first.
std::string ReserveNewFile(const std::string& path);

// Free base name for a media file about to be written. name and sourceExtension come from the source,
// targetExtension is the media file's extension at the destination.
// Names compare without regard to letter case, as on the card.
// Import: searches the destination folder and workFolder (the temporary folder when empty); collisions
// become name_ext, name_ext_0... The name is first made one a FAT or exFAT card takes (refused
// characters to "_", at most kMaxImportBaseBytes bytes, which leaves room for the collision suffixes, the
// extension and the working files' own suffixes within a card's 255).
// Throws CUserException when there is no temporary folder.
constexpr size_t kMaxImportBaseBytes = 191;
std::string FreeBaseNameForImport(const std::string& name, const std::string& sourceExtension,
                                  const std::string& targetExtension, const std::string& destinationFolder,
                                  const std::string& workFolder = std::string());
// Duplication: searches the destination folder only; collisions become name, name_0, name_1... A candidate
// is also taken when a file with one of sidecarExtensions exists under it, so the sidecars the new item
// will write never land on another item's.
std::string FreeBaseNameForDuplication(const std::string& name, const std::string& targetExtension,
                                       const std::string& destinationFolder,
                                       const std::vector<std::string>& sidecarExtensions = {});

} // namespace tq9
