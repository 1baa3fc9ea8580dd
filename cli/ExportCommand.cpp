// tq9 export: takes card media files to the PC as a drag out of the file list does (device recordings
// become WMV, other media files are copied as they are), then moves the results into a folder.
#include <filesystem>
#include <iostream>

#include "card/ExportSystemFile.h"
#include "cli/CliProgress.h"
#include "cli/Command.h"
#include "jobs/Exporter.h"
#include "jobs/ExportToFolder.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/ShellFileOperation.h"

namespace tq9::cli {

namespace {

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
    const CExportToFolder::Outcome outcome = CExportToFolder::Run(exporter, frontEnd, files, *folder);
    if (outcome.prepareRefused) {
        PrintError("export: cannot reserve the working files in the temporary folder");
        return kExitFailed;
    }
    if (outcome.result == JOB_RESULT_CANCELED || (outcome.result < 0 && frontEnd.Interrupted()))
        return kExitCanceled;
    if (outcome.result < 0) {
        if (outcome.placementCode != 0)
            PrintError("export: cannot move the results into " + *folder + " (" +
                       CShellFileOperation::ErrorName(outcome.placementCode) + ")");
        else if (!exporter.FailedSource().empty())
            PrintError("export: " + exporter.FailedSource() + ": " + exporter.FailureReason());
        return kExitFailed;
    }
    for (const std::string& path : outcome.placed)
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
