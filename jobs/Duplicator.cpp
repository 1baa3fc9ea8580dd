#include "jobs/Duplicator.h"

#include <algorithm>
#include <iterator>

#include "card/CardClaim.h"
#include "card/UserException.h"
#include "jobs/CardWriteCause.h"
#include "jobs/CauseTable.h"
#include "jobs/ImportSpaceCheck.h"
#include "jobs/ShellFileCalls.h"
#include "platform/DebugLog.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/ShellFileOperation.h"
#include "res/MessageCatalogue.h"

namespace tq9 {

namespace {

// The duplication's one table from a cause to its result bits and lines.
const CCauseTable& duplicationCauses()
{
    static const CCauseTable table(
        {
            {JobCause::NotDirectory, kResultNotDirectory, {IDS_NOT_DIRECTORY}},
            {JobCause::HasDirectory, kResultHasDirectory, {IDS_INVALID_FILE_TYPE, IDS_INCLUDING_DIRECTORY}},
            {JobCause::CannotOpen, kResultCannotOpen, {IDS_INVALID_FILE_TYPE, IDS_CANNOT_OPEN_FILE}},
            {JobCause::SourceGone, kResultSourceGone, {IDS_CANNOT_OPEN_FILE}},
            {JobCause::Other, kResultOtherError, {IDS_OTHER_ERROR}},
        },
        CCardWriteCause::kCardRows, std::size(CCardWriteCause::kCardRows));
    return table;
}

} // namespace

CDuplicator::~CDuplicator() = default;

void CDuplicator::DropRecords()
{
    m_records.clear();
    m_destination.clear();
    m_sources.clear();
}

int CDuplicator::Prepare(const std::string& destination, const std::vector<std::string>& sources, uint64_t)
{
    DropRecords();
    m_refused.clear();
    m_refusal.reset();
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
            m_refusal = e;
            DropRecords();
            return RESULT_OTHER_ERROR;
        }
        m_records.push_back(record);
        if (record.flags == 0)
            m_refused.push_back(record.sourcePath);
    }
    if (!m_refused.empty()) {
        DropRecords();
        return RESULT_OTHER_ERROR;
    }
    return 0;
}

int CDuplicator::Run(IProgressFrontEnd& frontEnd)
{
    ResetRunFields();
    m_landed.clear();
    m_failed.clear();
    m_spaceFigures.clear();
    const CCardClaim claim(m_destination); // an eject of this card waits for the end
    const int endCode = StartWorkerAndWait(frontEnd);
    if (endCode == 0)
        m_result = RESULT_OTHER_ERROR;
    else if (endCode == FRONTEND_CANCELED)
        m_result = JOB_RESULT_CANCELED;
    const int result = m_result;
    m_duplicated = std::move(m_landed);
    m_landed.clear();
    DropRecords();
    ResetRunFields();
    return result;
}

void CDuplicator::WorkerMain()
{
    // Each item that did not land adds its cause, so the progress ends "failed" too.
    WorkerLoop(
        static_cast<int>(m_records.size()), RESULT_OTHER_ERROR,
        [this](int index) { CopyRecord(m_records[static_cast<size_t>(index)]); },
        [this] {
            for (const FailedSource& failed : m_failed) {
                const int bits = duplicationCauses().ResultOf(failed.outcome.cause, RESULT_OTHER_ERROR);
                if (m_result != JOB_RESULT_CANCELED)
                    m_result = m_result < 0 ? m_result | bits : bits;
            }
        });
}

void CDuplicator::CopyRecord(const CTQ9DuplicationSystemFile& record)
{
    ShellFileOp op;
    op.func = FO_COPY;
    op.flags = FOF_MULTIDESTFILES | FOF_NOCONFIRMATION | FOF_RENAMEONCOLLISION;
    struct File {
        uint32_t flag;
        const std::string& from;
        const std::string& to;
    };
    const File files[] = {
        {FILE_MEDIA, record.sourceMediaPath, record.destMediaPath}, // the media file first: it makes the item
        {FILE_THUMBNAIL, record.sourceThumbnailPath, record.destThumbnailPath},
        {FILE_MARKER, record.sourceMarkerPath, record.destMarkerPath},
    };
    std::vector<uint64_t> before; // bytes of the item ahead of each file, for the percent
    uint64_t total = 0;
    for (const File& file : files) {
        if (!(record.flags & file.flag))
            continue;
        op.from.push_back(file.from);
        op.to.push_back(file.to);
        before.push_back(total);
        total += CFileSystem::FileSize(file.from).value_or(0); // the copy itself reports an unreadable source
    }
    op.item.assign(op.from.size(), 0);
    op.clearLeftovers = true; // the destination is a card folder
    op.stopRequested = [this] { return GetState() != STATE_RUNNING; };
    op.lockWait = [this](const std::string& folder) { SetWaitingFor(folder); };
    op.admit = CShellFileCalls::AdmitCardItem;
    op.collisionName = [&record](const std::string& to, int n) { return record.CollisionPath(to, n); };
    op.afterBlock = [this, &before, total](size_t index, uint64_t copied) {
        if (total != 0)
            m_percent.store(static_cast<int>((before[index] + copied) * 100 / total));
        return GetState() == STATE_RUNNING;
    };

    const int code = CShellFileOperation::Run(op);
    if (code == 0) {
        m_landed.push_back(op.done.front());
        return;
    }
    if (code == DE_OPCANCELLED)
        return; // the loop sees the cancelled state next
    CDebugLog::Write("duplication: " + record.sourcePath + " -> " + m_destination + ": " +
                     CShellFileOperation::ErrorName(code));
    // The item is named with its cause and the others go on, as the import's placement does.
    JobOutcome outcome = CCardWriteCause::OfWriteInto(code, m_destination);
    if (code == DE_INVALIDFILES || code == DE_ACCESSDENIEDSRC)
        outcome.cause = CFileAttributes::IsDirectory(m_destination) ? JobCause::SourceGone : JobCause::CardRemoved;
    else if (!outcome.Failed())
        outcome.cause = JobCause::Other;
    if (outcome.cause == JobCause::CardFull && m_spaceFigures.empty())
        if (const auto free = CFileSystem::FreeBytes(m_destination))
            m_spaceFigures = CImportSpaceCheck::Figures(total, *free);
    m_failed.push_back({record.sourcePath, std::move(outcome)});
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
    return duplicationCauses().ResultText(code, m_rejectedDestination, m_spaceFigures);
}

std::string DuplicationReportText(const CDuplicator& duplicator, int result, NameTextFn shown)
{
    const auto name = [shown](const std::string& path) { return shown ? shown(path) : path; };
    if (result == JOB_RESULT_CANCELED)
        return CMessageCatalogue::Get(IDS_DUPLICATION_CANCELED);
    if (result >= 0)
        return std::string();
    std::string text = duplicator.BuildErrorMessage(result);
    if (!duplicator.RefusalReason().empty())
        text += duplicator.RefusalReason(shown) + "\n";
    if (!duplicator.RefusedSources().empty() || !duplicator.FailedSources().empty())
        text += CMessageCatalogue::Get(IDS_FAILED_FILES_HEADING);
    for (const std::string& path : duplicator.RefusedSources())
        text += name(path) + "\n";
    // Each item that did not land, with its own cause.
    for (const CDuplicator::FailedSource& failed : duplicator.FailedSources())
        text += duplicationCauses().FailureText(failed.outcome, name(failed.path));
    return text;
}

} // namespace tq9
