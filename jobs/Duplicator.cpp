#include "jobs/Duplicator.h"


#include <algorithm>
#include <filesystem>

#include "card/UserException.h"
#include "platform/DebugLog.h"
#include "platform/FileAttributes.h"
#include "platform/ShellFileOperation.h"
#include "res/MessageCatalogue.h"

namespace tq9 {

CDuplicator::~CDuplicator()
{
    DropRecords();
}

void CDuplicator::DropRecords()
{
    for (const CTQ9DuplicationSystemFile& record : m_records)
        record.RemoveDestinationFiles();
    m_records.clear();
    m_destination.clear();
    m_sources.clear();
}

int CDuplicator::Prepare(const std::string& destination, const std::vector<std::string>& sources, uint64_t)
{
    DropRecords();
    m_refused.clear();
    m_duplicated.clear();

    if (!CFileAttributes::IsDirectory(destination)) {
        m_rejectedDestination = destination;
        return RESULT_NOT_DIRECTORY;
    }
    for (const std::string& source : sources) {
        const uint32_t attrs = CFileAttributes::Get(source);
        if (attrs == INVALID_FILE_ATTRIBUTES)
            return RESULT_CANNOT_OPEN;
        if (attrs & FILE_ATTRIBUTE_DIRECTORY)
            return RESULT_HAS_DIRECTORY;
    }

    m_destination = destination;
    m_sources = sources;
    for (const std::string& source : m_sources) {
        CTQ9DuplicationSystemFile record;
        try {
            record.Build(m_destination, source);
        } catch (const CUserException& e) {
            CDebugLog::Write(std::string("duplication: ") + e.what());
            record.RemoveDestinationFiles();
            DropRecords();
            return RESULT_OTHER_ERROR;
        }
        m_records.push_back(record);
        if (record.flags == 0)
            m_refused.push_back(record.sourcePath);
    }
    if (!m_refused.empty()) {
        DropRecords(); // nothing is copied, so no empty file may stay behind on the card
        return RESULT_OTHER_ERROR;
    }
    return 0;
}

int CDuplicator::Run(IProgressFrontEnd& frontEnd)
{
    ResetRunFields();
    const int endCode = StartWorkerAndWait(frontEnd);
    if (endCode == 0)
        m_result = RESULT_OTHER_ERROR;
    else if (endCode == FRONTEND_CANCELED)
        m_result = JOB_RESULT_CANCELED;
    const int result = m_result;

    // Records before the worker's last index are complete and stay; the rest (the interrupted one and
    // those never started) are removed with the records.
    const size_t done = endCode == 0 ? 0 : std::min(static_cast<size_t>(GetFileIndex()), m_records.size());
    for (size_t i = 0; i < done; ++i)
        m_duplicated.push_back(m_records[i].destMediaPath);
    m_records.erase(m_records.begin(), m_records.begin() + static_cast<std::ptrdiff_t>(done));
    DropRecords();
    ResetRunFields();
    return result;
}

void CDuplicator::WorkerMain()
{
    WorkerLoop(static_cast<int>(m_records.size()), RESULT_OTHER_ERROR,
               [this](int index) { CopyRecord(m_records[static_cast<size_t>(index)]); });
}

void CDuplicator::CopyRecord(const CTQ9DuplicationSystemFile& record)
{
    if (record.flags & FILE_MEDIA)
        CopyPart(record.sourceMediaPath, record.destMediaPath);
    if (record.flags & FILE_THUMBNAIL)
        CopyPart(record.sourceThumbnailPath, record.destThumbnailPath);
    if (record.flags & FILE_MARKER)
        CopyPart(record.sourceMarkerPath, record.destMarkerPath);
}

void CDuplicator::CopyPart(const std::string& from, const std::string& to)
{
    m_percent.store(0);
    std::error_code ec;
    uint64_t length = std::filesystem::file_size(from, ec);
    if (ec)
        length = 0; // the copy itself reports an unreadable source
    const int code = CShellFileOperation::CopyOver(from, to, [this, length](uint64_t copied) {
        if (length != 0)
            m_percent.store(static_cast<int>(copied * 100 / length));
        if (GetState() != STATE_RUNNING) {
            m_result = JOB_RESULT_CANCELED;
            return false;
        }
        return true;
    });
    if (code != 0) {
        if (code != DE_OPCANCELLED)
            CDebugLog::Write("duplication: " + from + " -> " + to + ": " + CShellFileOperation::ErrorName(code));
        throw CUserException("copy failed: " + from);
    }
}

std::string CDuplicator::GetCurrentFileName()
{
    if (m_sources.empty())
        return std::string();
    const size_t index = static_cast<size_t>(GetFileIndex());
    return index < m_sources.size() ? m_sources[index] : m_sources.front();
}

std::string CDuplicator::BuildErrorMessage(int code) const
{
    if (code >= 0)
        return CMessageCatalogue::Get(IDS_ERROR_NOT_FOUND) + "\n";
    struct Line {
        uint32_t mask;
        int id;
    };
    static constexpr Line kLines[] = {
        {0x80000001u, IDS_NOT_DIRECTORY},     {0x80000002u, IDS_INVALID_FILE_TYPE}, {0x80000004u, IDS_INCLUDING_DIRECTORY},
        {0x80000008u, IDS_CANNOT_OPEN_FILE}, {0x80000020u, IDS_OTHER_ERROR},
    };
    std::string text;
    for (const Line& line : kLines) {
        if ((static_cast<uint32_t>(code) & line.mask) != line.mask)
            continue;
        const std::string message = CMessageCatalogue::Get(line.id);
        text += (line.id == IDS_NOT_DIRECTORY ? FormatText(message, m_rejectedDestination) : message) + "\n";
    }
    return text;
}

std::string DuplicationReportText(const CDuplicator& duplicator, int result)
{
    if (result == JOB_RESULT_CANCELED)
        return CMessageCatalogue::Get(IDS_JOB_CANCELED);
    if (result >= 0)
        return std::string();
    std::string text = duplicator.BuildErrorMessage(result);
    if (!duplicator.RefusedSources().empty()) {
        text += CMessageCatalogue::Get(IDS_FAILED_FILES_HEADING);
        for (const std::string& path : duplicator.RefusedSources())
            text += path + "\n";
    }
    return text;
}

} // namespace tq9
