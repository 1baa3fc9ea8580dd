#include "jobs/Exporter.h"

#include <exception>

#include "card/TQ9SystemFile.h"
#include "card/UserException.h"
#include "jobs/SelfDDIndicator.h"
#include "media/FFMpegConverter.h"
#include "media/MediaInfo.h"
#include "media/wmv/WMVConverter.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"

namespace tq9 {

namespace {

// The length the card's .mrk sidecar gives a recording, in milliseconds; 0 without one. A recording that
// decodes shorter than that ended early.
int64_t MarkerMs(const std::string& cardPath)
{
    CTQ9SystemFile item;
    try {
        item.InitFromCardPath(cardPath);
    } catch (const CUserException&) {
        return 0;
    }
    return static_cast<int64_t>(item.MarkerSeconds()) * 1000;
}

} // namespace

int CExporter::Prepare(const std::vector<std::string>& sources)
{
    m_unconverted.clear();
    m_records.clear();
    for (const std::string& source : sources) {
        const uint32_t attrs = CFileAttributes::Get(source);
        if (attrs == INVALID_FILE_ATTRIBUTES)
            return RESULT_NOT_FOUND;
        if (attrs & FILE_ATTRIBUTE_DIRECTORY)
            return RESULT_FOLDER;
    }
    m_sources = sources;

    const bool plainCopy = CSelfDDIndicator::Instance().GetDropBusy() != 0;
    for (const std::string& source : m_sources) {
        CTQ9ExportSystemFile record;
        try {
            if (plainCopy)
                record.BuildForPlainCopy(source);
            else
                record.BuildForConversion(source);
        } catch (const CUserException&) {
            // Nothing of this request will run: give back the names reserved so far.
            DeleteWorkingFiles();
            m_records.clear();
            m_sources.clear();
            return RESULT_FAILED;
        }
        m_records.push_back(record);
    }

    for (const CTQ9ExportSystemFile& record : m_records)
        if (record.tempCreated == 0)
            m_unconverted.push_back(record.sourcePath);
    return m_unconverted.empty() ? 0 : RESULT_PLAIN_COPY;
}

int CExporter::Run(IProgressFrontEnd& frontEnd)
{
    if (CSelfDDIndicator::Instance().GetDropBusy() != 0)
        return JOB_RESULT_DONE;
    ResetRunFields();
    const int endCode = StartWorkerAndWait(frontEnd);
    if (endCode == 0)
        m_result = RESULT_FAILED;
    else if (endCode == FRONTEND_CANCELED)
        m_result = JOB_RESULT_CANCELED;
    const int result = m_result;
    ResetRunFields();
    m_sources.clear();
    return result;
}

void CExporter::WorkerMain()
{
    m_failedSource.clear();
    m_failureReason.clear();
    WorkerLoop(static_cast<int>(m_records.size()), RESULT_FAILED, [this](int index) {
        CTQ9ExportSystemFile& record = m_records[static_cast<size_t>(index)];
        if (!(record.flags & FILE_MEDIA))
            return;
        try {
            ExportRecord(record);
        } catch (const std::exception& e) {
            m_failedSource = record.sourcePath;
            m_failureReason = e.what();
            throw;
        }
    });
}

void CExporter::ExportRecord(CTQ9ExportSystemFile& record)
{
    if (!CFileSystem::TempFolder())
        throw CUserException("no temporary folder");
    if (record.kind == KIND_MP4_PROBE) {
        CFFMpegConverter& probe = CFFMpegConverter::Instance();
        MediaInfo info;
        probe.Probe(record.sourcePath, info);
        if (probe.GetResult() < 0)
            throw CUserException("not readable as media");
        record.Retarget(IsMpeg4Mp3(info) ? kExportMp4ToWmvRow : kExportMp4AsIsRow);
    }
    // A stop that arrived between the probe and the conversion would be forgotten by the converter.
    if (GetState() != STATE_RUNNING)
        return;

    CWMVConverter& converter = CWMVConverter::Instance();
    if (record.kind & KIND_COPY)
        converter.CopyFile(record.sourcePath, record.tempPath);
    else if (record.kind & KIND_VIDEO)
        converter.ConvertToWmv(record.sourcePath, record.tempPath, MarkerMs(record.sourcePath));
    else
        throw CUserException("nothing to do with this kind of file");
    if (!ConverterSucceeded(converter)) {
        // A stopped run is no failure of the file; the loop sees the cancelled state next.
        if (GetState() != STATE_RUNNING)
            return;
        const std::string why = (record.kind & KIND_VIDEO) ? converter.LastError() : std::string();
        throw CUserException(why.empty() ? "cannot write " + record.tempPath : why);
    }
}

void CExporter::DeleteWorkingFiles() const
{
    for (const CTQ9ExportSystemFile& record : m_records)
        record.DeleteWorkingFile();
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

} // namespace tq9
