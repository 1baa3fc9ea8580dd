#include "card/CardScan.h"

#include <cerrno>
#include <climits>
#include <sys/stat.h>

#include "card/CardLayout.h"
#include "card/UserException.h"
#include "platform/CardRoots.h"
#include "platform/DirectoryEnumerator.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/FolderLock.h"

namespace tq9 {

namespace {

// Whether root holds a card, reached one folder at a time (its path is too long to be checked whole).
bool isCardStepwise(const std::string& root)
{
    const CUniqueFd folder = CFileSystem::OpenFolderStepwise(root);
    return folder.IsOpen() && CCardLayout::IsCard("/proc/self/fd/" + std::to_string(folder.Get()));
}

} // namespace

std::vector<CardInfo> CCardScan::Scan(const std::vector<std::string>& roots, std::vector<std::string>* tooLong)
{
    std::vector<CardInfo> cards;
    for (const std::string& root : roots) {
        const bool isCard = CCardLayout::IsCard(root);
        // A relative root may pass the check and still stand for a path over the limit.
        if ((isCard || root.size() >= PATH_MAX) && CFileSystem::IsTooLong(root)) {
            if (tooLong && (isCard || isCardStepwise(root)))
                tooLong->push_back(root);
            continue;
        }
        if (!isCard)
            continue;
        CardInfo card;
        card.root = root;
        card.deviceFolder = CCardLayout::DeviceFolder(root);
        card.folders = ListFolders(card.deviceFolder).value_or(std::vector<std::string>());
        cards.push_back(std::move(card));
    }
    return cards;
}

std::vector<CardInfo> CCardScan::Scan(std::vector<std::string>* tooLong)
{
    return Scan(CCardRoots::All(), tooLong);
}

std::optional<std::vector<std::string>> CCardScan::ListFolders(const std::string& deviceFolder)
{
    CFolderLock lock(deviceFolder);
    if (!lock.Locked())
        return std::nullopt;
    CDirectoryEnumerator e(deviceFolder);
    if (!e.IsOpen())
        return std::nullopt;
    std::vector<std::string> folders;
    std::string name;
    while (e.Next(name)) {
        if (name == "." || name == "..")
            continue;
        const std::string path = deviceFolder + "/" + name;
        if (CCardLayout::IsCardFolderEntry(path))
            folders.push_back(path);
    }
    if (e.Failed())
        throw CUserException("enumeration of " + deviceFolder + " failed");
    return folders;
}

std::optional<std::string> CCardScan::CreateNumberedFolder(const std::string& deviceFolder)
{
    CDirectoryEnumerator e(deviceFolder);
    if (!e.IsOpen())
        return std::nullopt;
    // "." is not counted, ".." is: 127 sub-folders plus ".." is the most that still allows a new one.
    int count = 0;
    std::string name;
    while (e.Next(name)) {
        if (name == ".")
            continue;
        if (CFileAttributes::IsDirectory(deviceFolder + "/" + name))
            ++count;
    }
    if (count > layout::kMaxCountedFolderEntries) {
        errno = EMLINK;
        return std::nullopt;
    }
    for (int n = layout::kFirstFolderNumber; n <= layout::kLastFolderNumber; ++n) {
        const std::string candidate = deviceFolder + "/" + CCardLayout::NumberedFolderName(n);
        if (CFileAttributes::Exists(candidate))
            continue;
        if (::mkdir(candidate.c_str(), 0777) != 0)
            return std::nullopt;
        if (!CFileAttributes::IsDirectory(candidate)) {
            errno = EIO;
            return std::nullopt;
        }
        return candidate;
    }
    errno = EMLINK;
    return std::nullopt;
}

std::optional<std::string> CCardScan::DeviceFolderFor(const std::string& path)
{
    auto full = CFileSystem::LongPath(path);
    if (!full)
        return std::nullopt;
    if (CCardLayout::IsCard(*full))
        return CCardLayout::DeviceFolder(*full);
    // The device folder itself, or one of its folders.
    std::string candidate = *full;
    for (int level = 0; level < 2; ++level) {
        const size_t slash = candidate.rfind('/');
        if (slash == std::string::npos)
            break;
        const std::string name = candidate.substr(slash + 1);
        const std::string parent = slash == 0 ? "/" : candidate.substr(0, slash);
        if (name == layout::kDeviceFolder && CCardLayout::IsCard(parent))
            return candidate;
        candidate = parent;
    }
    return std::nullopt;
}

std::optional<std::string> CCardScan::CardFolder(const std::string& folder)
{
    if (!CFileAttributes::IsDirectory(folder))
        return std::nullopt;
    auto full = CFileSystem::LongPath(folder);
    if (!full)
        return std::nullopt;
    const size_t slash = full->rfind('/');
    if (slash == std::string::npos || slash == 0)
        return std::nullopt;
    const std::string parent = full->substr(0, slash);
    if (DeviceFolderFor(parent) != parent)
        return std::nullopt;
    return full;
}

} // namespace tq9
