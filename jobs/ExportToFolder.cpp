#include "jobs/ExportToFolder.h"

#include <cerrno>
#include <functional>

#include "card/ExportSystemFile.h"
#include "jobs/ImportSpaceCheck.h"
#include "platform/FileIo.h"
#include "platform/FileSystem.h"
#include "platform/ShellFileOperation.h"

namespace tq9 {

namespace {

// Why a finished working file could not be put into folder.
CExporter::FailedSource placementFailure(const CTQ9ExportSystemFile& record, const std::string& folder, int code)
{
    CExporter::FailedSource failed{record.sourcePath, CExporter::RESULT_NOT_WRITTEN, folder, {}};
    if (code == ErrnoCode(ENOSPC) || code == ErrnoCode(EDQUOT)) {
        failed.code = CExporter::RESULT_NO_ROOM;
        failed.figures = CImportSpaceCheck::Figures(CFileSystem::FileSize(record.tempPath).value_or(0),
                                                    CFileSystem::FreeBytes(folder).value_or(0));
    } else if (code == DE_FILENAMETOOLONG) {
        failed.code = CExporter::RESULT_NAME_TOO_LONG;
    }
    return failed;
}

// Moves each finished working file into folder, one at a time so one that fails names only itself, until
// stop() turns true. placedAs: which file each placed name held when it was placed.
void moveResults(const CExporter& exporter, const std::string& folder, const std::function<bool()>& stop,
                 const std::function<void(const std::string&)>& lockWait, CExportToFolder::Outcome& outcome,
                 std::vector<CFileIo::Identity>& placedAs)
{
    for (size_t i = 0; i < exporter.Records().size(); ++i) {
        if (!exporter.Exported(i))
            continue;
        const CTQ9ExportSystemFile& record = exporter.Records()[i];
        SplitPathResult source, working;
        SplitPath(record.sourcePath, source);
        SplitPath(record.tempPath, working);
        ShellFileOp op;
        op.func = FO_MOVE;
        op.flags = FOF_MULTIDESTFILES | FOF_RENAMEONCOLLISION | FOF_NOCONFIRMATION;
        op.stopRequested = stop;
        op.lockWait = lockWait;
        op.from.push_back(record.tempPath);
        op.to.push_back(folder + "/" + source.base + "." + working.extension);
        const int code = CShellFileOperation::Run(op);
        if (code == 0) {
            outcome.placed.push_back(op.done.front());
            placedAs.emplace_back();
            CFileIo::IdentityOf(op.done.front(), placedAs.back()); // none (0, 0) matches nothing later
            continue;
        }
        if (code == DE_OPCANCELLED)
            return;
        outcome.failed.push_back(placementFailure(record, folder, code));
    }
}

} // namespace

CExportToFolder::Outcome CExportToFolder::Run(CExporter& exporter, IProgressFrontEnd& frontEnd,
                                              const std::vector<std::string>& sources, const std::string& folder)
{
    Outcome outcome;
    outcome.result = exporter.Prepare(sources);
    if (outcome.result < 0) {
        outcome.prepareRefused = true;
        outcome.failed = exporter.FailedSources();
        return outcome;
    }
    // The moves run on the job's worker, behind the front-end: a cancel stops them too.
    std::vector<CFileIo::Identity> placedAs;
    outcome.result = exporter.Run(frontEnd, [&](const std::function<bool()>& stop,
                                                const std::function<void(const std::string&)>& lockWait) {
        outcome.failed = exporter.FailedSources();
        moveResults(exporter, folder, stop, lockWait, outcome, placedAs);
    });
    if (outcome.result == JOB_RESULT_CANCELED) {
        // Whatever had been moved goes again, but only while its name still holds it: the folder is the
        // user's, and a file put there under that name since is theirs.
        for (size_t i = 0; i < outcome.placed.size(); ++i)
            CFileIo::UnlinkIfSame(outcome.placed[i], placedAs[i]);
        outcome.placed.clear();
        outcome.failed.clear();
    } else if (!outcome.failed.empty()) {
        outcome.result = CExporter::RESULT_FAILED;
    }
    exporter.DeleteWorkingFiles();
    return outcome;
}

} // namespace tq9
