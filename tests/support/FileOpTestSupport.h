// Helpers for tests of file operations: deterministic contents, folder listings, and a folder on a file
// system other than the temporary folder's.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/ShellFileOperation.h"
#include "support/TestSupport.h"

namespace tq9test {

namespace fs = std::filesystem;

// size bytes that differ from file to file (seed) and from block to block, so a misplaced block shows.
std::string Blob(size_t size, int seed);

// Entry names of a folder, sorted ("." and ".." left out).
std::vector<std::string> Names(const fs::path& folder);
inline std::vector<std::string> Names(const TempDir& folder) { return Names(folder.Path()); }

// True when the folder holds a temporary name of the shell file operations.
bool HasTempName(const fs::path& folder);
inline bool HasTempName(const TempDir& folder) { return HasTempName(folder.Path()); }

// A move or copy of the named files of one folder into another, flags FOF_MULTIDESTFILES |
// FOF_RENAMEONCOLLISION, as the import uses it.
tq9::ShellFileOp TransferOp(uint32_t func, const fs::path& from, const fs::path& to,
                            const std::vector<std::string>& names);

// A fresh folder under /dev/shm when that is another file system than the temporary folder's; removed
// with its contents at the end.
class OtherFileSystemDir {
public:
    OtherFileSystemDir();
    ~OtherFileSystemDir();
    OtherFileSystemDir(const OtherFileSystemDir&) = delete;
    OtherFileSystemDir& operator=(const OtherFileSystemDir&) = delete;

    bool Ok() const { return !m_path.empty(); }
    const std::string& SkipReason() const { return m_skipReason; }
    const fs::path& Path() const { return m_path; }
    fs::path operator/(const std::string& name) const { return m_path / name; }

private:
    fs::path m_path;
    std::string m_skipReason;
};

} // namespace tq9test
