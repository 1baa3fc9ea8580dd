#include "jobs/ShellFileCalls.h"

#include <set>
#include <utility>

#include "card/CardFolder.h"
#include "card/UserException.h"
#include "jobs/CardFolderArgument.h"
#include "jobs/CardWriteCause.h"
#include "jobs/ShellPathList.h"
#include "platform/DebugLog.h"
#include "platform/FileSystem.h"
#include "platform/ShellFileOperation.h"

namespace tq9 {

namespace {

constexpr uint32_t kPartFlags[3] = {FILE_MEDIA, FILE_THUMBNAIL, FILE_MARKER};

bool failed(int code, const ShellFileOp& op)
{
    return code != 0 || op.anyOperationsAborted;
}

} // namespace

bool ImportResultT::RecordLanded(size_t index, uint32_t flags) const
{
    if (index >= landed.size())
        return false;
    for (int part = 0; part < 3; ++part) {
        if ((flags & kPartFlags[part]) && landed[index][part].empty())
            return false;
    }
    return true;
}

ImportResultT CShellFileCalls::MoveOrCopyImport(const std::string& tempFolder, const std::string& destinationFolder,
                                                const std::vector<CTQ9ImportSystemFile>& records,
                                                const std::function<bool()>& stop,
                                                const std::function<void(const std::string&)>& lockWait,
                                                const CopiedBytes& copied)
{
    ImportResultT result;
    result.landed.assign(records.size(), {});

    // Both lists take the parts in the same order, so entry k of each names one part; origin maps it back.
    CShellPathList sources, destinations;
    std::vector<std::pair<size_t, int>> origin;
    std::vector<size_t> items; // each record is one item: it lands whole or not at all
    for (size_t i = 0; i < records.size(); ++i) {
        const CTQ9ImportSystemFile& r = records[i];
        const std::string* temp[3] = {&r.tempMediaPath, &r.tempThumbnailPath, &r.tempMarkerPath};
        const std::string* dest[3] = {&r.destMediaPath, &r.destThumbnailPath, &r.destMarkerPath};
        for (int part = 0; part < 3; ++part) {
            if (r.flags & kPartFlags[part]) {
                sources.Append(*temp[part]);
                destinations.Append(*dest[part]);
                origin.emplace_back(i, part);
                items.push_back(i);
            }
        }
    }

    result.moved = CFileSystem::SameFileSystem(tempFolder, destinationFolder);
    ShellFileOp op;
    op.func = result.moved ? FO_MOVE : FO_COPY;
    op.from = sources.Take();
    op.to = destinations.Take();
    op.flags = FOF_MULTIDESTFILES | FOF_RENAMEONCOLLISION;
    op.stopRequested = stop;
    op.item = std::move(items);
    op.clearLeftovers = true; // the destination is a card folder
    op.lockWait = lockWait;
    if (copied && !result.moved) {
        // Bytes ahead of each file, for a count over the whole copy.
        std::vector<uint64_t> before;
        uint64_t total = 0;
        for (const std::string& from : op.from) {
            before.push_back(total);
            total += CFileSystem::FileSize(from).value_or(0);
        }
        copied(0, total);
        op.afterBlock = [&copied, before = std::move(before), total](size_t index, uint64_t bytes) {
            copied(before[index] + bytes, total);
            return true;
        };
    }
    op.admit = AdmitCardItem;
    result.code = CShellFileOperation::Run(op);
    result.aborted = op.anyOperationsAborted;
    result.codes.assign(records.size(), 0);
    for (size_t k = 0; k < op.done.size() && k < origin.size(); ++k)
        result.landed[origin[k].first][origin[k].second] = op.done[k];
    for (size_t k = 0; k < op.results.size() && k < origin.size(); ++k)
        if (op.results[k] != 0)
            result.codes[origin[k].first] = op.results[k];
    if (failed(result.code, op))
        LogErrorName(result.code);
    return result;
}

int CShellFileCalls::AdmitCardItem(const std::string& folder)
{
    return CCardFolder::TakesAnotherItem(folder) ? 0 : kFolderFullCode;
}

JobOutcome CShellFileCalls::DeleteCardFiles(const std::vector<CTQ9SystemFile>& records)
{
    if (records.empty())
        return {JobCause::Other, 0, "nothing to delete", {}};
    CShellPathList list;
    for (const CTQ9SystemFile& record : records)
        list.AppendRecord(record);

    // A file named twice (one row selected twice, "rm a a") is deleted once, not reported as missing.
    ShellFileOp op;
    op.func = FO_DELETE;
    op.flags = FOF_NOCONFIRMATION;
    std::set<std::string> seen;
    for (const std::string& path : list.Paths()) {
        if (seen.insert(path).second)
            op.from.push_back(path);
    }
    const int code = CShellFileOperation::Run(op);
    if (!failed(code, op))
        return {};
    LogErrorName(code);
    SplitPathResult parts;
    SplitPath(records.front().path, parts);
    JobOutcome outcome = CCardWriteCause::OfWriteInto(code, parts.folder);
    if (!outcome.Failed())
        outcome.cause = JobCause::Other;
    return outcome;
}

JobOutcome CShellFileCalls::DeleteSelected(const std::vector<std::string>& selectedPaths,
                                           std::vector<std::string>* leftInPlace)
{
    const JobOutcome notCardItem{JobCause::Other, 0, "not a card media item", {}};
    if (selectedPaths.empty())
        return {JobCause::Other, 0, "nothing selected", {}};
    std::vector<CTQ9SystemFile> records;
    try {
        for (const std::string& path : selectedPaths) {
            // A row of a folder that leads off the card (a link in the device folder) is not the card's.
            if (!CCardFolderArgument::FolderOfFile(path))
                return notCardItem;
            CTQ9SystemFile record;
            record.InitFromCardPath(path);
            // Only media items are deleted; a path the card table does not know is refused, not removed.
            if (!(record.flags & FILE_MEDIA))
                return notCardItem;
            records.push_back(record);
        }
    } catch (const CUserException& e) {
        return {JobCause::Other, 0, e.what(), {}};
    }
    JobOutcome outcome = DeleteCardFiles(records);
    if (!outcome.Failed() && leftInPlace)
        for (const CTQ9SystemFile& record : records)
            leftInPlace->insert(leftInPlace->end(), record.strayEntries.begin(), record.strayEntries.end());
    return outcome;
}

void CShellFileCalls::LogErrorName(int code)
{
    const std::string name = CShellFileOperation::ErrorName(code);
    if (!name.empty())
        CDebugLog::Write(name);
}

} // namespace tq9
