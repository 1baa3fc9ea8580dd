#include "card/CardFolder.h"

#include "res/ByteSize.h"

#include <cstdio>

#include "card/CardLayout.h"
#include "card/TQ9SystemFile.h"
#include "card/UserException.h"
#include "platform/DirectoryEnumerator.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/ReadLease.h"

namespace tq9 {

namespace {
std::string extensionOf(const std::string& path)
{
    std::string ext;
    GetExtension(path, ext);
    return ext;
}
} // namespace

bool CCardFolder::IsListableFile(const std::string& path)
{
    if (!CReadLease::CanReadExclusively(path) || !IsListable(path))
        return false;
    try {
        CTQ9SystemFile record;
        record.InitFromCardPath(path);
        return record.IsValid();
    } catch (const CUserException&) {
        return false;
    }
}

std::optional<std::vector<std::string>> CCardFolder::ListMediaFiles(const std::string& folder, size_t* busy,
                                                                   const std::function<bool()>& stop)
{
    if (busy)
        *busy = 0;
    CDirectoryEnumerator e(folder);
    if (!e.IsOpen())
        return std::nullopt;
    std::vector<std::string> files;
    std::string name;
    while ((!stop || !stop()) && e.Next(name)) {
        if (name == "." || name == "..")
            continue;
        const std::string path = folder + "/" + name;
        if (IsListableFile(path))
            files.push_back(path);
        else if (busy && IsListable(path) && LookupExtension(kCardExtensionTable, extensionOf(path)).flags != 0 &&
                 CFileAttributes::IsFile(path) && !CReadLease::CanReadExclusively(path))
            ++*busy;
    }
    return files;
}

bool CCardFolder::TakesAnotherItem(const std::string& folder)
{
    size_t busy = 0;
    const auto files = ListMediaFiles(folder, &busy);
    return !files || CCardLayout::HasRoomFor(files->size() + busy, 1);
}

std::string CCardFolder::NameText(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string CCardFolder::DurationText(uint32_t seconds)
{
    // A length no recording has (a hostile FFFFFFFF would read 1193046:28:15) is unknown.
    if (seconds > kMaxShownSeconds)
        return "--:--:--";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02u:%02u:%02u", seconds / 3600, (seconds / 60) % 60, seconds % 60);
    return buf;
}

std::string CCardFolder::DurationText(const std::string& path)
{
    try {
        CTQ9SystemFile record;
        record.InitFromCardPath(path);
        return DurationText(record.MarkerSeconds());
    } catch (const CUserException&) {
        return DurationText(0u);
    }
}

std::string CCardFolder::SizeText(uint64_t bytes)
{
    return CByteSize::Text(bytes);
}

std::string CCardFolder::SizeTextOf(const std::string& path)
{
    auto size = CFileSystem::FileSize(path);
    return size ? SizeText(*size) : std::string();
}

std::string CCardFolder::DateText(std::time_t when)
{
    std::tm local {};
    if (!::localtime_r(&when, &local))
        return std::string();
    char buf[128];
    if (std::strftime(buf, sizeof buf, "%Y/%m/%d %H:%M:%S", &local) == 0)
        return std::string();
    return buf;
}

std::string CCardFolder::DateTextOf(const std::string& path)
{
    auto when = CFileSystem::LastWriteTime(path);
    return when ? DateText(*when) : std::string();
}

} // namespace tq9
