#include "card/TQ9SystemFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <set>
#include <vector>

#include "card/CardLayout.h"
#include "card/ExportSystemFile.h"
#include "card/ImportSystemFile.h"
#include "card/UserException.h"
#include "platform/DirectoryEnumerator.h"
#include "platform/FatNames.h"
#include "platform/FileAttributes.h"
#include "platform/FileIo.h"
#include "platform/FileSystem.h"
#include "platform/UniqueFd.h"

namespace tq9 {

const ExtensionRow kCardExtensionTable[] = {
    {"mp4", "", kVideoParts, KIND_VIDEO},
    {"avi", "", kVideoParts, KIND_VIDEO},
    {"wav", "", kAudioParts, KIND_AUDIO},
    {"mp3", "", kAudioParts, KIND_AUDIO},
    {"jpg", "", kStillParts, KIND_STILL},
    {"bmp", "", kStillParts, KIND_STILL},
    {"thm", "", 0, 0},
    {"mrk", "", 0, 0},
    {"", "", 0, 0},
};

namespace {

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoreCase(const std::string& a, const char* b)
{
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    return i == a.size() && b[i] == '\0';
}

} // namespace

const ExtensionRow& LookupExtension(const ExtensionRow* table, const std::string& extension)
{
    const ExtensionRow* row = table;
    for (; row->extension[0] != '\0'; ++row)
        if (equalsIgnoreCase(extension, row->extension))
            return *row;
    return *row;
}

bool IsWorkingFileName(const std::string& name)
{
    SplitPathResult parts;
    if (name.find('/') != std::string::npos || !SplitPath(name, parts) || parts.base.empty() ||
        parts.extension.empty())
        return false;
    for (const ExtensionRow* table : {kImportExtensionTable, kExportExtensionTable, kCardExtensionTable}) {
        for (const ExtensionRow* row = table; row->extension[0] != '\0'; ++row)
            if (equalsIgnoreCase(parts.extension, row->extension) || equalsIgnoreCase(parts.extension, row->target))
                return true;
    }
    return equalsIgnoreCase(parts.extension, "wmv") || equalsIgnoreCase(parts.extension, "passlog");
}

bool SplitPath(const std::string& path, SplitPathResult& out)
{
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        const size_t baseStart = slash == std::string::npos ? 0 : slash + 1;
        out.folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
        out.base = path.substr(baseStart, dot - baseStart);
        out.extension = path.substr(dot + 1);
        return true;
    }
    out.folder = path;
    out.base.clear();
    out.extension.clear();
    return false;
}

bool GetExtension(const std::string& path, std::string& extension)
{
    SplitPathResult parts;
    if (!SplitPath(path, parts))
        return false;
    extension = parts.extension;
    return true;
}

bool IsListable(const std::string& path)
{
    std::string ext;
    return GetExtension(path, ext) && ext != "mrk" && ext != "thm";
}

std::string LongFilePath(const std::string& path)
{
    const uint32_t attrs = CFileAttributes::Get(path);
    if (attrs == 0 || attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_DIRECTORY))
        throw CUserException(path, "not a file");
    auto longPath = CFileSystem::LongPath(path);
    if (!longPath)
        throw CUserException(path, "no long path");
    return *longPath;
}

void CTQ9SystemFile::InitFromCardPath(const std::string& cardPath)
{
    if (const EntryKind kind = CFileAttributes::KindOf(cardPath); kind != EntryKind::Regular)
        throw CUserException(cardPath, CFileAttributes::RefusalText(kind));
    const std::string longPath = LongFilePath(cardPath);
    *this = CTQ9SystemFile();
    path = longPath;
    SplitPathResult parts;
    SplitPath(path, parts);
    if (parts.extension == "mrk" || parts.extension == "thm")
        throw CUserException(cardPath, "a sidecar");
    const ExtensionRow& row = LookupExtension(kCardExtensionTable, parts.extension);
    flags = row.flags;
    kind = row.kind;
    // A sidecar that is not a regular file (a folder, a link, a FIFO) is not part of the item: the item
    // is shown and handled without it, and strayEntries names it for messages.
    strayEntries.clear();
    if (flags & FILE_THUMBNAIL) {
        thumbnailPath = CCardLayout::ThumbnailPath(parts.folder, parts.base);
        if (!CCardLayout::IsCardFileEntry(thumbnailPath)) {
            if (CFileAttributes::KindOf(thumbnailPath) != EntryKind::Missing)
                strayEntries.push_back(thumbnailPath);
            flags &= ~FILE_THUMBNAIL;
        }
    }
    if (flags & FILE_MARKER) {
        markerPath = CCardLayout::MarkerFilePath(parts.folder, parts.base);
        if (!CCardLayout::IsCardFileEntry(markerPath)) {
            if (CFileAttributes::KindOf(markerPath) != EntryKind::Missing)
                strayEntries.push_back(markerPath);
            flags &= ~FILE_MARKER;
        }
    }
}

bool CTQ9SystemFile::IsValid() const
{
    if (flags == 0)
        return false;
    if ((flags & FILE_MEDIA) && !CCardLayout::IsCardFileEntry(path))
        return false;
    if ((flags & FILE_MARKER) && !markerPath.empty() && !CCardLayout::IsCardFileEntry(markerPath))
        return false;
    if ((flags & FILE_THUMBNAIL) && !thumbnailPath.empty() && !CCardLayout::IsCardFileEntry(thumbnailPath))
        return false;
    return true;
}

uint32_t CTQ9SystemFile::MarkerSeconds() const
{
    if (!(flags & FILE_MARKER) || markerPath.empty())
        return 0;
    const CUniqueFd fd(CFileIo::OpenReadNoFollow(markerPath));
    if (!fd.IsOpen())
        return 0;
    unsigned char bytes[4];
    size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = ::read(fd.Get(), bytes + got, sizeof bytes - got);
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    return got == sizeof bytes ? CCardLayout::DecodeMarker(bytes) : 0;
}

namespace {

// Names are compared as a card compares them (letter case aside), on every file system: the device
// reads FAT, so "CLIP.MP4" and "clip.mp4" are one name even where the PC would keep both.
std::string freeBaseName(const std::vector<std::string>& folders, const std::string& name,
                         const std::string& collisionBase, const std::string& targetExtension,
                         const std::vector<std::string>& alsoFree = {})
{
    std::set<std::string> names;
    for (const auto& f : folders)
        names.merge(CFatNames::FoldedListing(f));
    const std::string folded = CFatNames::Fold(name);
    const std::string prefix = folded + ".";
    const auto next = names.lower_bound(prefix);
    const bool anyMatch =
        names.count(folded) != 0 || (next != names.end() && next->compare(0, prefix.size(), prefix) == 0);
    if (!anyMatch)
        return name;
    auto taken = [&](const std::string& candidate) {
        if (names.count(CFatNames::Fold(candidate + "." + targetExtension)) != 0)
            return true;
        for (const auto& extension : alsoFree)
            if (names.count(CFatNames::Fold(candidate + "." + extension)) != 0)
                return true;
        return false;
    };
    if (!taken(collisionBase))
        return collisionBase;
    for (unsigned long n = 0;; ++n) {
        std::string candidate = collisionBase + "_" + std::to_string(n);
        if (!taken(candidate))
            return candidate;
    }
}

std::string tempFolderOrThrow()
{
    auto temp = CFileSystem::TempFolder();
    if (!temp)
        throw CUserException("no temporary folder");
    return *temp;
}

} // namespace

TransferPaths CheckTransferPaths(const std::string& destination, const std::string& source)
{
    if (!CFileAttributes::IsDirectory(destination))
        throw CUserException(destination, "the destination is not a folder");
    const uint32_t attrs = CFileAttributes::Get(source);
    if (attrs == 0 || attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_DIRECTORY))
        throw CUserException(source, "the source is not a file");
    auto longSource = CFileSystem::LongPath(source);
    if (!longSource)
        throw CUserException(source, "no long path");
    auto longDestination = CFileSystem::LongPath(destination);
    if (!longDestination)
        throw CUserException(destination, "no long path");
    return {*longSource, *longDestination};
}

std::string ReserveNewFile(const std::string& path)
{
    CUniqueFd fd(CFileIo::CreateNew(path));
    if (!fd.IsOpen())
        throw CUserException(path, std::string("cannot reserve: ") + std::strerror(errno));
    fd.Close();
    return path;
}

std::string FreeBaseNameForImport(const std::string& name, const std::string& sourceExtension,
                                  const std::string& targetExtension, const std::string& destinationFolder,
                                  const std::string& workFolder)
{
    const std::string temp = workFolder.empty() ? tempFolderOrThrow() : workFolder;
    const std::string safe = CFatNames::CardSafe(name, kMaxImportBaseBytes);
    const std::string safeExtension = CFatNames::CardSafe(sourceExtension, kMaxImportBaseBytes);
    return freeBaseName({destinationFolder, temp}, safe, safe + "_" + safeExtension, targetExtension);
}

std::string FreeBaseNameForDuplication(const std::string& name, const std::string& targetExtension,
                                       const std::string& destinationFolder,
                                       const std::vector<std::string>& sidecarExtensions)
{
    // The collision base is the name itself, so candidates run name, name_0, name_1...
    return freeBaseName({destinationFolder}, name, name, targetExtension, sidecarExtensions);
}

} // namespace tq9
