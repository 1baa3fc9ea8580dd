// File attributes with the contract the card code relies on: a failed query reports every bit set, so
// "exists and is a folder" tests must check for that value first.
#pragma once

#include <cstdint>
#include <string>

namespace tq9 {

constexpr uint32_t FILE_ATTRIBUTE_READONLY = 0x1;
constexpr uint32_t FILE_ATTRIBUTE_HIDDEN = 0x2;
constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr uint32_t INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

// What a directory entry itself is (a link is not followed).
enum class EntryKind { Missing, Regular, Directory, Link, Other };

class CFileAttributes {
public:
    // Directory, hidden and read-only bits of path; INVALID_FILE_ATTRIBUTES when it cannot be queried.
    // Hidden: the FAT hidden attribute on vfat/exfat mounts, a leading "." in the name elsewhere.
    static uint32_t Get(const std::string& path);

    // True when the query succeeds and the bit is set.
    static bool IsDirectory(const std::string& path);
    static bool IsFile(const std::string& path);
    static bool Exists(const std::string& path);

    // The entry at path as it is, links not followed (lstat); Missing when it cannot be queried.
    static EntryKind KindOf(const std::string& path);
    // Why an entry that is not a regular file is refused, for messages after "<path>: ": "is a link",
    // "is a folder", "is not a regular file", "does not exist"; empty for a regular file.
    static std::string RefusalText(EntryKind kind);

    // Sets or clears the FAT hidden attribute where the file system has one; false elsewhere.
    static bool SetFatHidden(const std::string& path, bool hidden);
};

} // namespace tq9
