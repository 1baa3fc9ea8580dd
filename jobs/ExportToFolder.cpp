#include "jobs/ExportToFolder.h"

#include <cerrno>

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

// Moves each finished working file into folder, one at a time so one that fails names only itself. False
// after a cancel, with what was moved removed again.
bool moveResults(const CExporter& exporter, const std::string& folder, const std::atomic<bool>* cancel,
                 CExportToFolder::Outcome& outcome)
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
        op.cancel = cancel;
        op.from.push_back(record.tempPath);
        op.to.push_back(folder + "/" + source.base + "." + working.extension);
        const int code = CShellFileOperation::Run(op);
        if (code == 0) {
            outcome.placed.push_back(op.done.front());
            continue;
        }
        if (code == DE_OPCANCELLED) {
            for (const std::string& moved : outcome.placed)
                CFileIo::Unlink(moved);
            outcome.placed.clear();
            return false;
        }
        outcome.failed.push_back(placementFailure(record, folder, code));
    }
    return true;
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
    outcome.result = exporter.Run(frontEnd);
    if (outcome.result != JOB_RESULT_CANCELED) {
        outcome.failed = exporter.FailedSources();
        if (!moveResults(exporter, folder, frontEnd.CompletionCancelFlag(), outcome))
            outcome.result = JOB_RESULT_CANCELED;
        else if (!outcome.failed.empty())
            outcome.result = CExporter::RESULT_FAILED;
    }
    exporter.DeleteWorkingFiles();
    return outcome;
}

} // namespace tq9
