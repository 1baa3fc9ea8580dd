// Path and volume queries the card code and the jobs share.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "platform/UniqueFd.h"

namespace tq9 {

class CFileSystem {
public:
    // Absolute path with symlinks resolved; nullopt when the path does not exist or exceeds PATH_MAX
    // (errno says which).
    static std::optional<std::string> LongPath(const std::string& path);
    // True when path, or the absolute path it stands for, is longer than the system takes (PATH_MAX, 4,096
    // bytes with its end): nothing there can be opened or checked by its path.
    static bool IsTooLong(const std::string& path);
    // The folder at path opened (O_PATH) one component at a time, so that a path longer than PATH_MAX
    // still reaches it; not open when a component cannot be opened.
    static CUniqueFd OpenFolderStepwise(const std::string& path);
    // The user's temporary folder (TMPDIR honoured), without a trailing "/"; nullopt when there is none.
    static std::optional<std::string> TempFolder();
    // The program's folder in the user's cache folder (${XDG_CACHE_HOME:-~/.cache}/tq9-image-converter),
    // for working files too big for the temporary folder; made (mode 0700) when create is set. nullopt
    // when there is no home or it cannot be made.
    static std::optional<std::string> CacheFolder(bool create);
    // Bytes available to the caller on the volume holding path; nullopt when the query fails or the
    // volume reports no blocks at all (it cannot tell).
    static std::optional<uint64_t> FreeBytes(const std::string& path);
    // 0 when the caller can create files in folder, else the errno that says why not (EROFS, EACCES, ...).
    // Leaves nothing behind: the probe file has no name.
    static int WriteRefusal(const std::string& folder);
    // True when both paths live on one file system, so a move between them is a rename.
    static bool SameFileSystem(const std::string& a, const std::string& b);
    // Size and last-write time from the directory entry.
    static std::optional<uint64_t> FileSize(const std::string& path);
    static std::optional<std::time_t> LastWriteTime(const std::string& path);
    // True when a process the caller may look at (the user's own, through /proc) has a file below folder
    // open. A process that closes its descriptors while it is looked at may be missed.
    static bool OpenByAnyProcess(const std::string& folder);
    // Removes a folder the program made for its own files: the regular files directly in it, then the
    // folder. A link, a folder or a FIFO found there is not ours to judge: it stays, and so does the folder.
    // False when the folder is still there afterwards (or was a link, not a folder).
    static bool RemoveFolderOfFiles(const std::string& folder);
    // The current working folder, for commands that resolve names the way a shell does.
    static std::string CurrentFolder();
    // The folder part of path ("." when it has none, "/" for entries of the root) and its last name.
    static std::string FolderOf(const std::string& path);
    static std::string NameOf(const std::string& path);
};

} // namespace tq9
