#include "card/DuplicationSystemFile.h"

#include <vector>

#include "card/CardLayout.h"
#include "card/UserException.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"

namespace tq9 {

const ExtensionRow kDuplicationExtensionTable[] = {
    {"avi", "", kVideoParts, KIND_COPY},
    {"mp4", "", kVideoParts, KIND_COPY},
    {"aac", "", kAudioParts, KIND_COPY},
    {"mp3", "", kAudioParts, KIND_COPY},
    {"wav", "", kAudioParts, KIND_COPY},
    {"jpg", "", kStillParts, KIND_COPY},
    {"png", "", kStillParts, KIND_COPY},
    {"bmp", "", kStillParts, KIND_COPY},
    {"thm", "", 0, 0},
    {"mrk", "", 0, 0},
    {"", "", 0, 0},
};

namespace {

// Whether a sidecar exists as a part of the item; one that is there but not a regular file (a link that
// could bring outside content onto the card, a folder, a FIFO) refuses the whole item.
bool sidecarPresent(const std::string& path)
{
    const EntryKind kind = CFileAttributes::KindOf(path);
    if (kind == EntryKind::Missing)
        return false;
    if (kind != EntryKind::Regular)
        throw CUserException(path, CFileAttributes::RefusalText(kind));
    return true;
}

} // namespace

void CTQ9DuplicationSystemFile::Build(const std::string& destination, const std::string& source)
{
    if (const EntryKind kind = CFileAttributes::KindOf(source); kind != EntryKind::Regular && kind != EntryKind::Missing)
        throw CUserException(source, CFileAttributes::RefusalText(kind));
    TransferPaths paths = CheckTransferPaths(destination, source);
    *this = CTQ9DuplicationSystemFile();
    sourcePath = std::move(paths.source);
    destinationFolder = std::move(paths.destination);

    SplitPathResult parts;
    SplitPath(sourcePath, parts);
    const ExtensionRow& row = LookupExtension(kDuplicationExtensionTable, parts.extension);
    flags = row.flags;
    kind = row.kind;
    sourceBase = parts.base;

    // Which parts exist at the source decides which names the new item needs.
    if (flags & FILE_MEDIA) {
        sourceMediaPath = sourcePath;
        if (!CFileAttributes::Exists(sourceMediaPath))
            flags &= ~FILE_MEDIA;
    }
    if (flags & FILE_THUMBNAIL) {
        sourceThumbnailPath = CCardLayout::ThumbnailPath(parts.folder, parts.base);
        if (!sidecarPresent(sourceThumbnailPath))
            flags &= ~FILE_THUMBNAIL;
    }
    if (flags & FILE_MARKER) {
        sourceMarkerPath = CCardLayout::MarkerFilePath(parts.folder, parts.base);
        if (!sidecarPresent(sourceMarkerPath))
            flags &= ~FILE_MARKER;
    }
    if (flags == 0)
        return;

    std::vector<std::string> sidecars;
    if (flags & FILE_THUMBNAIL)
        sidecars.push_back("thm");
    if (flags & FILE_MARKER)
        sidecars.push_back("mrk");
    const std::string name = FreeBaseNameForDuplication(parts.base, parts.extension, destinationFolder, sidecars);

    if (flags & FILE_MEDIA)
        destMediaPath = CCardLayout::MediaPath(destinationFolder, name, parts.extension);
    if (flags & FILE_THUMBNAIL)
        destThumbnailPath = CCardLayout::ThumbnailPath(destinationFolder, name);
    if (flags & FILE_MARKER)
        destMarkerPath = CCardLayout::MarkerFilePath(destinationFolder, name);
}

std::string CTQ9DuplicationSystemFile::CollisionPath(const std::string& path, int n) const
{
    SplitPathResult parts;
    SplitPath(path, parts);
    const std::string base = n <= 2 ? sourceBase : sourceBase + "_" + std::to_string(n - 3);
    return CCardLayout::MediaPath(parts.folder, base, parts.extension);
}

} // namespace tq9
