#include "card/ImportSystemFile.h"

#include "card/CardLayout.h"
#include "card/UserException.h"
#include "platform/FileAttributes.h"
#include "platform/FileIo.h"
#include "platform/FileSystem.h"

namespace tq9 {

const ExtensionRow kImportExtensionTable[] = {
    {"avi", "mp4", kVideoParts, KIND_VIDEO},
    {"mp4", "mp4", kVideoParts, KIND_VIDEO},
    {"mov", "mp4", kVideoParts, KIND_VIDEO},
    {"mpg", "mp4", kVideoParts, KIND_VIDEO},
    {"m2ts", "mp4", kVideoParts, KIND_VIDEO},
    {"m2t", "mp4", kVideoParts, KIND_VIDEO},
    {"dv", "mp4", kVideoParts, KIND_VIDEO},
    {"wmv", "mp4", kVideoParts, KIND_VIDEO},
    {"asf", "mp4", kVideoParts, KIND_VIDEO},
    {"aac", "mp3", kAudioParts, KIND_AUDIO},
    {"mp3", "mp3", kAudioParts, KIND_AUDIO},
    {"aif", "mp3", kAudioParts, KIND_AUDIO},
    {"aiff", "mp3", kAudioParts, KIND_AUDIO},
    {"wav", "mp3", kAudioParts, KIND_AUDIO},
    {"jpg", "jpg", kStillParts, KIND_STILL},
    {"png", "jpg", kStillParts, KIND_STILL},
    {"bmp", "bmp", kStillParts, KIND_STILL},
    // Further everyday kinds the media library and the imaging read, each through the row of its kind.
    {"mkv", "mp4", kVideoParts, KIND_VIDEO},
    {"webm", "mp4", kVideoParts, KIND_VIDEO},
    {"m4v", "mp4", kVideoParts, KIND_VIDEO},
    {"mts", "mp4", kVideoParts, KIND_VIDEO},
    {"ts", "mp4", kVideoParts, KIND_VIDEO},
    {"mpeg", "mp4", kVideoParts, KIND_VIDEO},
    {"3gp", "mp4", kVideoParts, KIND_VIDEO},
    {"m4a", "mp3", kAudioParts, KIND_AUDIO},
    {"flac", "mp3", kAudioParts, KIND_AUDIO},
    {"ogg", "mp3", kAudioParts, KIND_AUDIO},
    {"opus", "mp3", kAudioParts, KIND_AUDIO},
    {"wma", "mp3", kAudioParts, KIND_AUDIO},
    {"jpeg", "jpg", kStillParts, KIND_STILL},
    {"tif", "jpg", kStillParts, KIND_STILL},
    {"tiff", "jpg", kStillParts, KIND_STILL},
    {"webp", "jpg", kStillParts, KIND_STILL},
    {"heic", "jpg", kStillParts, KIND_STILL},
    {"heif", "jpg", kStillParts, KIND_STILL},
    {"avif", "jpg", kStillParts, KIND_STILL}, // through libheif, as HEIC
    {"gif", "jpg", kStillParts, KIND_STILL},  // its first picture, as an animated WebP's
    {"thm", "", 0, 0},
    {"mrk", "", 0, 0},
    {"", "", 0, 0},
};

void CTQ9ImportSystemFile::Build(const std::string& destination, const std::string& source, Variant variant,
                                 const std::string& workFolder)
{
    TransferPaths paths = CheckTransferPaths(destination, source);
    *this = CTQ9ImportSystemFile();
    tempCreated = 1;
    sourcePath = std::move(paths.source);
    destinationFolder = std::move(paths.destination);

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

    auto temp = workFolder.empty() ? CFileSystem::TempFolder() : std::optional<std::string>(workFolder);
    auto longTemp = temp ? CFileSystem::LongPath(*temp) : std::nullopt;
    if (!longTemp)
        throw CUserException("no temporary folder");
    const std::string name =
        FreeBaseNameForImport(parts.base, parts.extension, target, destinationFolder, *longTemp);

    // Each working path is stored only once its file is reserved, so clean-up never deletes a file this
    // record did not create.
    if (flags & FILE_MEDIA) {
        tempMediaPath = ReserveNewFile(CCardLayout::MediaPath(*longTemp, name, target));
        destMediaPath = CCardLayout::MediaPath(destinationFolder, name, target);
        if (variant == Variant::Transcode)
            passLogPath = CCardLayout::MediaPath(*longTemp, name, "passlog");
    }
    if (flags & FILE_THUMBNAIL) {
        tempThumbnailPath = ReserveNewFile(CCardLayout::ThumbnailPath(*longTemp, name));
        destThumbnailPath = CCardLayout::ThumbnailPath(destinationFolder, name);
    }
    if (flags & FILE_MARKER) {
        tempMarkerPath = ReserveNewFile(CCardLayout::MarkerFilePath(*longTemp, name));
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
