// tq9 export: takes card media files to the PC as a drag out of the file list does (device recordings
// become WMV, other media files are copied as they are), then moves the results into a folder.
#include <filesystem>
#include <iostream>

#include "card/ExportSystemFile.h"
#include "cli/CliProgress.h"
#include "cli/Command.h"
#include "jobs/Exporter.h"
#include "platform/FileAttributes.h"
#include "platform/FileIo.h"
#include "platform/FileSystem.h"
#include "platform/ShellFileOperation.h"

namespace tq9::cli {

namespace {

// Moves every working file into folder under its card name and the working file's extension, renaming
// on a collision ("clip (2).wmv"). All or nothing: after a failure or Ctrl-C what was moved is removed
// again. Returns the final paths, or nothing with a message on stderr.
bool moveResults(const CExporter& exporter, const std::string& folder, const std::atomic<bool>* cancel,
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
        return true;
    const int code = CShellFileOperation::Run(op);
    if (code == 0) {
        finals = op.done;
        return true;
    }
    for (const std::string& moved : op.done)
        if (!moved.empty())
            CFileIo::Unlink(moved);
    if (code != DE_OPCANCELLED)
        PrintError("export: cannot move the results into " + folder + " (" + CShellFileOperation::ErrorName(code) +
                   ")");
    return false;
}

int runExport(const ParsedArgs& args)
{
    std::error_code ec;
    const std::string to = args.Value("to", ".");
    const auto folder = CFileSystem::LongPath(to);
    if (!folder || !CFileAttributes::IsDirectory(*folder)) {
        PrintError("export: " + to + ": not a folder");
        return kExitFailed;
    }

    std::vector<std::string> files;
    for (const std::string& argument : args.Positional()) {
        const uint32_t attrs = CFileAttributes::Get(argument);
        if (attrs == INVALID_FILE_ATTRIBUTES) {
            PrintError("export: " + argument + ": no such file");
            return kExitFailed;
        }
        if (attrs & FILE_ATTRIBUTE_DIRECTORY) {
            PrintError("export: " + argument + ": is a folder");
            return kExitFailed;
        }
        std::string extension;
        GetExtension(argument, extension);
        if (LookupExtension(kExportExtensionTable, extension).flags == 0) {
            PrintError("export: " + argument + ": skipped (not a media file the export takes)");
            continue;
        }
        const auto absolute = std::filesystem::absolute(argument, ec);
        files.push_back(ec ? argument : absolute.string());
    }
    if (files.empty())
        return kExitOk;

    CExporter exporter;
    CCliProgress frontEnd;
    int result = exporter.Prepare(files);
    if (result < 0) {
        PrintError("export: cannot reserve the working files in the temporary folder");
        return kExitFailed;
    }
    result = exporter.Run(frontEnd);
    std::vector<std::string> finals;
    if (result == JOB_RESULT_DONE && !moveResults(exporter, *folder, frontEnd.CompletionCancelFlag(), finals))
        result = frontEnd.Interrupted() ? JOB_RESULT_CANCELED : CExporter::RESULT_FAILED;
    exporter.DeleteWorkingFiles();

    if (result == JOB_RESULT_CANCELED)
        return kExitCanceled;
    if (result < 0) {
        if (!exporter.FailedSource().empty())
            PrintError("export: " + exporter.FailedSource() + ": " + exporter.FailureReason());
        return kExitFailed;
    }
    for (const std::string& path : finals)
        std::cout << path << "\n";
    return kExitOk;
}

} // namespace

TQ9_COMMAND(exportCommand,
            {"export",
             "FILE...",
             "take card media files to the PC: device recordings become WMV, other media files are copied",
             {{"to", "DIR", "put the results into DIR (default: the current folder)"}},
             1,
             -1,
             runExport});

} // namespace tq9::cli
