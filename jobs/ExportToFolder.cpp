#include "jobs/ExportToFolder.h"

#include "card/ExportSystemFile.h"
#include "jobs/Exporter.h"
#include "platform/FileIo.h"
#include "platform/ShellFileOperation.h"

namespace tq9 {

namespace {

// Moves every working file into folder; returns the move's code and, on success, the final paths.
int moveResults(const CExporter& exporter, const std::string& folder, const std::atomic<bool>* cancel,
                std::vector<std::string>& finals)
{
    ShellFileOp op;
    op.func = FO_MOVE;
    op.flags = FOF_MULTIDESTFILES | FOF_RENAMEONCOLLISION | FOF_NOCONFIRMATION;
    op.cancel = cancel;
    for (const CTQ9ExportSystemFile& record : exporter.Records()) {
        if (!(record.flags & FILE_MEDIA) || record.tempPath.empty())
            continue;
        SplitPathResult source, working;
        SplitPath(record.sourcePath, source);
        SplitPath(record.tempPath, working);
        op.from.push_back(record.tempPath);
        op.to.push_back(folder + "/" + source.base + "." + working.extension);
    }
    if (op.from.empty())
        return 0;
    const int code = CShellFileOperation::Run(op);
    if (code == 0) {
        finals = op.done;
        return 0;
    }
    for (const std::string& moved : op.done)
        if (!moved.empty())
            CFileIo::Unlink(moved);
    return code;
}

} // namespace

CExportToFolder::Outcome CExportToFolder::Run(CExporter& exporter, IProgressFrontEnd& frontEnd,
                                              const std::vector<std::string>& sources, const std::string& folder)
{
    Outcome outcome;
    outcome.result = exporter.Prepare(sources);
    if (outcome.result < 0) {
        outcome.prepareRefused = true;
        return outcome;
    }
    outcome.result = exporter.Run(frontEnd);
    if (outcome.result == JOB_RESULT_DONE) {
        outcome.placementCode = moveResults(exporter, folder, frontEnd.CompletionCancelFlag(), outcome.placed);
        if (outcome.placementCode == DE_OPCANCELLED)
            outcome.result = JOB_RESULT_CANCELED;
        else if (outcome.placementCode != 0)
            outcome.result = CExporter::RESULT_FAILED;
    }
    exporter.DeleteWorkingFiles();
    return outcome;
}

} // namespace tq9
