#include "jobs/Exporter.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <filesystem>

#include "card/CardClaim.h"
#include "card/TQ9SystemFile.h"
#include "card/UserException.h"
#include "jobs/ImportSpaceCheck.h"
#include "media/FFMpegConverter.h"
#include "media/ConverterState.h"
#include "media/MediaInfo.h"
#include "media/wmv/WMVConverter.h"
#include "medialib/tq9media.h"
#include "platform/DebugLog.h"
#include "platform/FileAttributes.h"
#include "platform/FileIo.h"
#include "platform/FileSystem.h"
#include "res/MessageCatalogue.h"

namespace tq9 {

namespace {

// The WMV's bytes per second: 6,000,000 bit/s video and the audio table's highest row, with a little for
// the container.
constexpr uint64_t kWmvBytesPerSecond = (6000000 + 256000) / 8 * 102 / 100;

// The length the card's .mrk sidecar gives a recording, in milliseconds; 0 without one. A recording that
// decodes shorter than that ended early.
int64_t markerMs(const std::string& cardPath)
{
    CTQ9SystemFile item;
    try {
        item.InitFromCardPath(cardPath);
    } catch (const CUserException&) {
        return 0;
    }
    return static_cast<int64_t>(item.MarkerSeconds()) * 1000;
}

bool cardGone(int err)
{
    return err == ENOENT || err == EIO || err == ENODEV || err == ENXIO || err == ENOTCONN || err == ESTALE;
}

// The media library's words for a status, for the line under the cause.
std::string LibraryReason(int status)
{
    if (status >= 0)
        return std::string();
    char text[128] = "";
    return Tq9MediaErrorText(status, text, sizeof text);
}

} // namespace

CExporter::~CExporter()
{
    DeleteWorkingFiles();
}

uint64_t CExporter::EstimateBytes(const std::string& cardPath)
{
    const uint64_t size = CFileSystem::FileSize(cardPath).value_or(0);
    std::string extension;
    GetExtension(cardPath, extension);
    if (LookupExtension(kExportExtensionTable, extension).kind != KIND_MP4_PROBE)
        return size;
    CTQ9SystemFile item;
    try {
        item.InitFromCardPath(cardPath);
    } catch (const CUserException&) {
        return size;
    }
    return std::max<uint64_t>(size, uint64_t(item.MarkerSeconds()) * kWmvBytesPerSecond);
}

std::optional<std::string> CExporter::WorkParentFor(uint64_t bytes)
{
    const auto temp = CFileSystem::TempFolder();
    if (!temp)
        return CFileSystem::CacheFolder(true);
    const auto free = CFileSystem::FreeBytes(*temp);
    if (!free || *free >= bytes)
        return temp;
    // A small tmpfs: the user's cache folder usually lives on the big disk.
    if (const auto cache = CFileSystem::CacheFolder(true))
        if (const auto cacheFree = CFileSystem::FreeBytes(*cache); cacheFree && *cacheFree >= bytes)
            return cache;
    return temp;
}

int CExporter::Prepare(const std::vector<std::string>& sources, const std::string& parent, bool ownDrop)
{
    DeleteWorkingFiles();
    m_ownDrop = ownDrop;
    m_unconverted.clear();
    m_records.clear();
    m_codes.clear();
    m_figures.clear();
    bool anyFound = sources.empty();
    uint64_t needed = 0;
    for (const std::string& source : sources) {
        const uint32_t attrs = CFileAttributes::Get(source);
        if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY))
            return RESULT_FOLDER;
        if (attrs != INVALID_FILE_ATTRIBUTES) {
            anyFound = true;
            needed += EstimateBytes(source);
        }
    }
    m_sources = sources;
    if (!anyFound) {
        // The card went: every file is named, and nothing runs.
        for (const std::string& source : m_sources) {
            CTQ9ExportSystemFile record;
            record.sourcePath = source;
            m_records.push_back(record);
            m_codes.push_back(RESULT_CARD_REMOVED);
            m_figures.emplace_back();
        }
        return RESULT_NOT_FOUND;
    }

    if (!ownDrop) {
        const auto where = parent.empty() ? WorkParentFor(needed) : std::optional<std::string>(parent);
        m_work = where ? CWorkFolder::CreateIn(*where) : nullptr;
        m_parent = where.value_or("");
        if (!m_work) {
            m_sources.clear();
            return RESULT_FAILED;
        }
    }
    for (size_t i = 0; i < m_sources.size(); ++i) {
        const std::string& source = m_sources[i];
        CTQ9ExportSystemFile record;
        int code = 0;
        if (CFileAttributes::Get(source) == INVALID_FILE_ATTRIBUTES) {
            record.sourcePath = source; // gone since the drag started: it fails alone
            code = RESULT_CARD_REMOVED;
        } else {
            try {
                if (ownDrop)
                    record.BuildForPlainCopy(source);
                else
                    record.BuildForConversion(source, m_work->Path(), static_cast<int>(i) + 1);
            } catch (const CUserException&) {
                // Nothing of this request will run: give back what was reserved so far.
                DeleteWorkingFiles();
                m_records.clear();
                m_codes.clear();
                m_sources.clear();
                return RESULT_FAILED;
            }
        }
        m_records.push_back(record);
        m_codes.push_back(code);
        m_figures.emplace_back();
    }

    for (size_t i = 0; i < m_records.size(); ++i)
        if (m_records[i].tempCreated == 0 && m_codes[i] == 0)
            m_unconverted.push_back(m_records[i].sourcePath);
    return m_unconverted.empty() ? 0 : RESULT_PLAIN_COPY;
}

int CExporter::Run(IProgressFrontEnd& frontEnd, const HandOn& handOn)
{
    if (m_ownDrop)
        return JOB_RESULT_DONE;
    ResetRunFields();
    m_endedEarly.store(false);
    m_handOn = handOn;
    // The card being read stays in until the export has ended (an eject waits for it).
    const CCardClaim claim(m_sources.empty() ? std::string() : std::filesystem::path(m_sources.front()).parent_path().string());
    const int endCode = StartWorkerAndWait(frontEnd);
    m_handOn = nullptr;
    if (endCode == 0)
        m_result = RESULT_FAILED;
    else if (endCode == FRONTEND_CANCELED)
        m_result = JOB_RESULT_CANCELED;
    int result = m_result;
    if (result == JOB_RESULT_DONE)
        for (int code : m_codes)
            if (code != 0)
                result = RESULT_FAILED;
    ResetRunFields();
    return result;
}

void CExporter::WorkerMain()
{
    auto exportEntry = [this](int index) {
        const size_t i = static_cast<size_t>(index);
        if (m_codes[i] != 0 || !(m_records[i].flags & FILE_MEDIA))
            return;
        ExportRecord(i);
        if (m_codes[i] != 0) {
            if (!Exported(i))
                m_records[i].DeleteWorkingFile();
            CDebugLog::Write("export: " + m_records[i].sourcePath + ": " +
                             ExportCauseText({m_records[i].sourcePath, m_codes[i], m_parent, m_figures[i]}));
        }
    };
    // The progress says "failed" when a file was left out, though the others went on; a recording that
    // ended early was exported as far as it goes, which the ending says instead (SomeEndedEarly).
    auto finish = [this] {
        if (m_result == JOB_RESULT_DONE && std::any_of(m_codes.begin(), m_codes.end(), [](int code) {
                return code != 0 && code != RESULT_ENDED_EARLY;
            }))
            m_result = RESULT_FAILED;
        // Handed on while the front-end still shows the job, so a wait for another run says so there and
        // Cancel ends it.
        if (m_handOn && m_result != JOB_RESULT_CANCELED && GetState() == STATE_RUNNING)
            m_handOn([this] { return GetState() != STATE_RUNNING; },
                     [this](const std::string& folder) { SetWaitingFor(folder); });
    };
    WorkerLoop(static_cast<int>(m_records.size()), RESULT_FAILED, exportEntry, finish);
}

void CExporter::ExportRecord(size_t index)
{
    CTQ9ExportSystemFile& record = m_records[index];
    int& code = m_codes[index];
    uint64_t needed = CFileSystem::FileSize(record.sourcePath).value_or(0);
    if (record.kind == KIND_MP4_PROBE) {
        CFFMpegConverter& probe = CFFMpegConverter::Instance();
        MediaInfo info;
        if (probe.Probe(record.sourcePath, info).Failed()) {
            code = CFileAttributes::Get(record.sourcePath) == INVALID_FILE_ATTRIBUTES ? RESULT_CARD_REMOVED
                                                                                       : RESULT_NOT_MEDIA;
            return;
        }
        const bool toWmv = IsMpeg4Mp3(info);
        try {
            record.Retarget(toWmv ? kExportMp4ToWmvRow : kExportMp4AsIsRow);
        } catch (const CUserException&) {
            code = CauseOf(record, errno, 0, m_figures[index]);
            return;
        }
        if (toWmv)
            needed = uint64_t(std::max<int32_t>(info.durationMs, 0)) * kWmvBytesPerSecond / 1000;
    }
    // Room first: a conversion that fills the folder half-way helps nobody.
    const std::string folder = CFileSystem::FolderOf(record.tempPath);
    if (const auto free = CFileSystem::FreeBytes(folder); free && *free < needed) {
        code = CauseOf(record, ENOSPC, needed, m_figures[index]);
        return;
    }
    // A stop that arrived between the probe and the conversion would be forgotten by the converter.
    if (GetState() != STATE_RUNNING)
        return;

    CWMVConverter& converter = CWMVConverter::Instance();
    // Each cause comes with the converter's outcome: a copy's system error, a conversion's stage and status.
    if (record.kind & KIND_COPY) {
        const ConverterOutcome copied = converter.CopyFile(record.sourcePath, record.tempPath);
        if (!copied.Failed())
            CFileIo::CopyTimes(record.sourcePath, record.tempPath); // the card file's date, as a copy keeps it
        else if (GetState() == STATE_RUNNING) // a stopped run is no failure of the file
            code = CauseOf(record, copied.Errno(), needed, m_figures[index]);
        return;
    }
    const ExportOutcome outcome =
        converter.ConvertToWmv(record.sourcePath, record.tempPath, markerMs(record.sourcePath));
    if (!outcome.Failed()) {
        CFileIo::CopyTimes(record.sourcePath, record.tempPath);
        // A WMV that ended early holds what there is: it is handed over, and the file is named with the reason.
        if (outcome.cause == ExportCause::EndedEarly) {
            code = RESULT_ENDED_EARLY;
            m_endedEarly.store(true);
        }
    } else if (GetState() == STATE_RUNNING) {
        CDebugLog::Write("export: " + record.sourcePath + ": " + outcome.detail);
        code = CauseOf(record, outcome, needed, m_figures[index]);
    }
}

int CExporter::CauseOf(const CTQ9ExportSystemFile& record, const ExportOutcome& outcome, uint64_t needed,
                       std::string& figures) const
{
    const int err = outcome.Errno();
    switch (outcome.cause) {
    case ExportCause::WriteFailed:
        // The writer's own status: only a full folder is reported as one, with the figures of now.
        if (err == ENOSPC || err == EDQUOT || err == EFBIG)
            return CauseOf(record, ENOSPC, needed, figures);
        if (err == ENAMETOOLONG)
            return RESULT_NAME_TOO_LONG;
        figures = LibraryReason(outcome.status);
        return RESULT_NOT_WRITTEN;
    case ExportCause::ReadFailed:
        // A read error with the file still there is the recording's own: said as such, with the reason.
        if (CFileAttributes::Get(record.sourcePath) == INVALID_FILE_ATTRIBUTES)
            return RESULT_CARD_REMOVED;
        figures = LibraryReason(outcome.status);
        return RESULT_READ_FAILED;
    default:
        return CFileAttributes::Get(record.sourcePath) == INVALID_FILE_ATTRIBUTES ? RESULT_CARD_REMOVED
                                                                                   : RESULT_NOT_MEDIA;
    }
}

int CExporter::CauseOf(const CTQ9ExportSystemFile& record, int err, uint64_t needed, std::string& figures) const
{
    if (CFileAttributes::Get(record.sourcePath) == INVALID_FILE_ATTRIBUTES)
        return RESULT_CARD_REMOVED;
    if (err == ENOSPC || err == EDQUOT) {
        const auto free = CFileSystem::FreeBytes(m_work ? m_work->Path() : m_parent);
        // A folder that filled during the write had more room than the estimate asked for: figures saying
        // less is needed than is free would only mislead, so that message goes without them.
        if (free && *free < needed)
            figures = CImportSpaceCheck::Figures(needed, *free);
        return RESULT_NO_ROOM;
    }
    if (err == ENAMETOOLONG)
        return RESULT_NAME_TOO_LONG;
    if (cardGone(err))
        return RESULT_CARD_REMOVED;
    return (record.kind & KIND_VIDEO) ? RESULT_NOT_MEDIA : RESULT_NOT_WRITTEN;
}

bool CExporter::Exported(size_t index) const
{
    return index < m_records.size() && (m_codes[index] == 0 || m_codes[index] == RESULT_ENDED_EARLY) &&
           (m_records[index].flags & FILE_MEDIA) && !m_records[index].tempPath.empty();
}

std::vector<CExporter::FailedSource> CExporter::FailedSources() const
{
    std::vector<FailedSource> failed;
    for (size_t i = 0; i < m_records.size(); ++i)
        if (m_codes[i] != 0)
            failed.push_back({i < m_sources.size() ? m_sources[i] : m_records[i].sourcePath, m_codes[i], m_parent,
                              m_figures[i]});
    return failed;
}

void CExporter::DeleteWorkingFiles()
{
    for (const CTQ9ExportSystemFile& record : m_records)
        record.DeleteWorkingFile();
    m_work.reset();
}

int CExporter::GetFileCount()
{
    return static_cast<int>(m_sources.size());
}

int CExporter::GetPercent()
{
    return PercentFromConverter(CWMVConverter::Instance(), GetFileCount());
}

std::string CExporter::GetCurrentFileName()
{
    if (m_sources.empty())
        return std::string();
    const int index = GetFileIndex();
    return index >= 0 && index < GetFileCount() ? m_sources[static_cast<size_t>(index)] : m_sources.front();
}

std::string ExportCauseText(const CExporter::FailedSource& failed, NameTextFn shown)
{
    struct Line {
        int code;
        int id;
    };
    static constexpr Line kLines[] = {
        {CExporter::RESULT_NOT_MEDIA, IDS_EXPORT_NOT_MEDIA},       {CExporter::RESULT_NO_ROOM, IDS_EXPORT_NO_ROOM},
        {CExporter::RESULT_CARD_REMOVED, IDS_EXPORT_CARD_REMOVED}, {CExporter::RESULT_NAME_TOO_LONG, IDS_EXPORT_NAME_TOO_LONG},
        {CExporter::RESULT_ENDED_EARLY, IDS_EXPORT_ENDED_EARLY},   {CExporter::RESULT_NOT_WRITTEN, IDS_EXPORT_NOT_WRITTEN},
        {CExporter::RESULT_READ_FAILED, IDS_EXPORT_READ_FAILED},
    };
    for (const Line& line : kLines) {
        if (failed.code != line.code)
            continue;
        std::string text =
            FormatText(CMessageCatalogue::Get(line.id), shown ? shown(failed.folder) : failed.folder) + "\n";
        if (!failed.figures.empty())
            text += failed.figures + "\n";
        return text;
    }
    return CMessageCatalogue::Get(IDS_OTHER_ERROR) + "\n";
}

std::string ExportFailureText(const CExporter& exporter, bool handedOver)
{
    return ExportFailureText(exporter.FailedSources(), exporter.GetRecordCount(), handedOver);
}

std::string ExportFailureText(const std::vector<CExporter::FailedSource>& failed, int total, bool handedOver)
{
    if (failed.empty())
        return std::string();
    // A recording that ended early was exported as far as it goes: it is named, not counted as left out.
    const int leftOut = static_cast<int>(std::count_if(failed.begin(), failed.end(), [](const CExporter::FailedSource& f) {
        return f.code != CExporter::RESULT_ENDED_EARLY;
    }));
    std::string text;
    if (leftOut > 0) {
        text += FormatText(CMessageCatalogue::Get(IDS_EXPORT_SOME_FAILED), leftOut, total) + "\n";
        if (handedOver)
            text += CMessageCatalogue::Get(IDS_EXPORT_OTHERS_HANDED_OVER) + "\n";
    }
    text += CMessageCatalogue::Get(IDS_FAILED_FILES_HEADING);
    for (const CExporter::FailedSource& entry : failed)
        text += ExportCauseText(entry) + entry.path + "\n";
    return text;
}

} // namespace tq9
