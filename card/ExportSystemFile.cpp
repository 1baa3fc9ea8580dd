#include "card/ExportSystemFile.h"

#include "card/CardLayout.h"
#include "card/UserException.h"
#include "platform/FileIo.h"
#include "platform/FileSystem.h"

namespace tq9 {

const ExtensionRow kExportExtensionTable[] = {
    {"mp4", "mp4", FILE_MEDIA, KIND_MP4_PROBE},
    {"avi", "avi", FILE_MEDIA, KIND_COPY},
    {"wav", "wav", FILE_MEDIA, KIND_COPY},
    {"mp3", "mp3", FILE_MEDIA, KIND_COPY},
    {"jpg", "jpg", FILE_MEDIA, KIND_COPY},
    {"bmp", "bmp", FILE_MEDIA, KIND_COPY},
    {"thm", "", 0, 0},
    {"mrk", "", 0, 0},
    {"", "", 0, 0},
};

const ExtensionRow kExportMp4ToWmvRow = {"mp4", "wmv", FILE_MEDIA, KIND_VIDEO};
const ExtensionRow kExportMp4AsIsRow = {"mp4", "mp4", FILE_MEDIA, KIND_COPY};

void CTQ9ExportSystemFile::SetSource(const std::string& cardPath)
{
    const std::string longPath = LongFilePath(cardPath);
    *this = CTQ9ExportSystemFile();
    sourcePath = longPath;
}

void CTQ9ExportSystemFile::ReserveWorkingFile(const std::string& target)
{
    if (m_workFolder.empty())
        throw CUserException("no working folder");
    // A new file only: the run's folder is private, so an existing name is not ours to clobber.
    tempPath = ReserveNewFile(CCardLayout::MediaPath(m_workFolder, std::to_string(m_number), target));
}

void CTQ9ExportSystemFile::BuildForConversion(const std::string& cardPath, const std::string& workFolder,
                                              int number)
{
    SetSource(cardPath);
    m_workFolder = workFolder;
    m_number = number;
    tempCreated = 1;
    SplitPathResult parts;
    SplitPath(sourcePath, parts);
    const ExtensionRow& row = LookupExtension(kExportExtensionTable, parts.extension);
    flags = row.flags;
    kind = row.kind;
    if ((flags & FILE_MEDIA) && kind != KIND_MP4_PROBE)
        ReserveWorkingFile(row.target[0] != '\0' ? row.target : parts.extension);
}

void CTQ9ExportSystemFile::BuildForPlainCopy(const std::string& cardPath)
{
    SetSource(cardPath);
    flags = FILE_MEDIA;
    kind = KIND_COPY;
}

void CTQ9ExportSystemFile::Retarget(const ExtensionRow& row)
{
    if (sourcePath.empty() || !tempPath.empty())
        throw CUserException("record cannot be retargeted");
    SplitPathResult parts;
    SplitPath(sourcePath, parts);
    flags = row.flags;
    kind = row.kind;
    ReserveWorkingFile(row.target[0] != '\0' ? row.target : parts.extension);
}

void CTQ9ExportSystemFile::DeleteWorkingFile() const
{
    if (tempCreated == 1 && !tempPath.empty())
        CFileIo::Unlink(tempPath);
}

} // namespace tq9
