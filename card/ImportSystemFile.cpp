#include "card/ImportSystemFile.h"

#include <cerrno>
#include <cstring>

#include "card/CardLayout.h"
#include "card/UserException.h"
#include "platform/FileAttributes.h"
#include "platform/FileIo.h"
#include "platform/FileSystem.h"

namespace tq9 {

namespace {

constexpr uint32_t kVideoFlags = FILE_MEDIA | FILE_THUMBNAIL | FILE_MARKER;
constexpr uint32_t kAudioFlags = FILE_MEDIA | FILE_MARKER;
constexpr uint32_t kStillFlags = FILE_MEDIA | FILE_THUMBNAIL;

// Reserves path by creating it empty. Refuses an existing file: the free-name rule only avoids files
// named like the media file, so an existing sidecar name here belongs to another import that is running
// (another instance of the program) and must not be clobbered.
std::string reserve(const std::string& path)
{
    const int fd = CFileIo::CreateNew(path);
    if (fd < 0)
        throw CUserException("cannot reserve " + path + ": " + std::strerror(errno));
    CFileIo::Close(fd);
    return path;
}

} // namespace

const ExtensionRow kImportExtensionTable[] = {
    {"avi", "mp4", kVideoFlags, KIND_VIDEO},
    {"mp4", "mp4", kVideoFlags, KIND_VIDEO},
    {"mov", "mp4", kVideoFlags, KIND_VIDEO},
    {"mpg", "mp4", kVideoFlags, KIND_VIDEO},
    {"m2ts", "mp4", kVideoFlags, KIND_VIDEO},
    {"m2t", "mp4", kVideoFlags, KIND_VIDEO},
    {"dv", "mp4", kVideoFlags, KIND_VIDEO},
    {"wmv", "mp4", kVideoFlags, KIND_VIDEO},
    {"asf", "mp4", kVideoFlags, KIND_VIDEO},
    {"aac", "mp3", kAudioFlags, KIND_AUDIO},
    {"mp3", "mp3", kAudioFlags, KIND_AUDIO},
    {"aif", "mp3", kAudioFlags, KIND_AUDIO},
    {"aiff", "mp3", kAudioFlags, KIND_AUDIO},
    {"wav", "mp3", kAudioFlags, KIND_AUDIO},
    {"jpg", "jpg", kStillFlags, KIND_STILL},
    {"png", "jpg", kStillFlags, KIND_STILL},
    {"bmp", "bmp", kStillFlags, KIND_STILL},
    {"thm", "", 0, 0},
    {"mrk", "", 0, 0},
    {"", "", 0, 0},
};

void CTQ9ImportSystemFile::Build(const std::string& destination, const std::string& source, Variant variant)
{
    if (!CFileAttributes::IsDirectory(destination))
        throw CUserException("destination is not a folder: " + destination);
    const uint32_t attrs = CFileAttributes::Get(source);
    if (attrs == 0 || attrs == INVALID_FILE_ATTRIBUTES || (attrs & FILE_ATTRIBUTE_DIRECTORY))
        throw CUserException("source is not a file: " + source);

    *this = CTQ9ImportSystemFile();
    tempCreated = 1;

    auto longSource = CFileSystem::LongPath(source);
    auto longDestination = CFileSystem::LongPath(destination);
    if (!longSource || !longDestination)
        throw CUserException("no long path for " + source + " or " + destination);
    sourcePath = *longSource;
    destinationFolder = *longDestination;

    SplitPathResult parts;
    SplitPath(sourcePath, parts);
    const ExtensionRow& row = LookupExtension(kImportExtensionTable, parts.extension);
    std::string target = row.target[0] != '\0' ? row.target : parts.extension;
    flags = row.flags;
    kind = row.kind;
    if (variant == Variant::Copy) {
        kind |= KIND_COPY;
        target = parts.extension;
    }

    const std::string name = FreeBaseNameForImport(parts.base, parts.extension, target, destinationFolder);

    auto temp = CFileSystem::TempFolder();
    auto longTemp = temp ? CFileSystem::LongPath(*temp) : std::nullopt;
    if (!longTemp)
        throw CUserException("no temporary folder");

    // Each working path is stored only once its file is reserved, so clean-up never deletes a file this
    // record did not create.
    if (flags & FILE_MEDIA) {
        tempMediaPath = reserve(CCardLayout::MediaPath(*longTemp, name, target));
        destMediaPath = CCardLayout::MediaPath(destinationFolder, name, target);
        if (variant == Variant::Transcode)
            passLogPath = CCardLayout::MediaPath(*longTemp, name, "passlog");
    }
    if (flags & FILE_THUMBNAIL) {
        tempThumbnailPath = reserve(CCardLayout::ThumbnailPath(*longTemp, name));
        destThumbnailPath = CCardLayout::ThumbnailPath(destinationFolder, name);
    }
    if (flags & FILE_MARKER) {
        tempMarkerPath = reserve(CCardLayout::MarkerFilePath(*longTemp, name));
        destMarkerPath = CCardLayout::MarkerFilePath(destinationFolder, name);
    }
}

void CTQ9ImportSystemFile::DeleteWorkingFiles() const
{
    if (tempCreated != 1)
        return;
    for (const std::string* path : {&tempMediaPath, &tempThumbnailPath, &tempMarkerPath, &passLogPath})
        if (!path->empty())
            CFileIo::Unlink(*path);
}

} // namespace tq9
