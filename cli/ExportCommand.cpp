// tq9 export: takes card media files to the PC as a drag out of the file list does (device recordings
// become WMV, other media files are copied as they are), then moves the results into a folder. It exports
// what it can and names each file it could not, with the cause, on stderr: exit 0 when every file was
// exported, 4 when some were not, 3 when none was.
#include <cstring>
#include <filesystem>
#include <iostream>

#include "card/ExportSystemFile.h"
#include "cli/CliProgress.h"
#include "cli/Command.h"
#include "cli/ShownName.h"
#include "jobs/Exporter.h"
#include "jobs/ExportToFolder.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"

namespace tq9::cli {

namespace {

// One line for stderr: the cause's lines joined.
std::string oneLine(std::string text)
{
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    for (char& c : text)
        if (c == '\n')
            c = ' ';
    return text;
}

int runExport(const ParsedArgs& args)
{
    std::error_code ec;
    const std::string to = args.Value("to", ".");
    if (RefusedAsTooLong("export", to))
        return kExitFailed;
    const auto folder = CFileSystem::LongPath(to);
    if (!folder || !CFileAttributes::IsDirectory(*folder)) {
        PrintError("export: " + CShownName::Of(to) + ": not a folder");
        return kExitFailed;
    }
    // Refused before any work: a read-only or foreign folder would fail only after every conversion.
    if (const int refusal = CFileSystem::WriteRefusal(*folder)) {
        PrintError("export: " + CShownName::Of(to) + ": cannot write into the folder (" + std::strerror(refusal) + ")");
        return kExitFailed;
    }

    // What cannot be exported is named and the rest goes on; sidecars stay on the card by design.
    int refused = 0;
    std::vector<std::string> files;
    for (const std::string& argument : args.Positional()) {
        if (RefusedAsTooLong("export", argument)) {
            ++refused;
            continue;
        }
        const uint32_t attrs = CFileAttributes::Get(argument);
        if (attrs == INVALID_FILE_ATTRIBUTES) {
            PrintError("export: " + CShownName::Of(argument) + ": no such file");
            ++refused;
            continue;
        }
        if (attrs & FILE_ATTRIBUTE_DIRECTORY) {
            PrintError("export: " + CShownName::Of(argument) + ": is a folder");
            ++refused;
            continue;
        }
        // A FIFO or device would hold the export for ever.
        const auto resolved = CFileSystem::LongPath(argument);
        if (const EntryKind kind = resolved ? CFileAttributes::KindOf(*resolved) : EntryKind::Missing;
            kind != EntryKind::Regular) {
            PrintError("export: " + CShownName::Of(argument) + ": " + CFileAttributes::RefusalText(kind));
            return kExitFailed;
        }
        std::string extension;
        GetExtension(argument, extension);
        if (LookupExtension(kExportExtensionTable, extension).flags == 0) {
            PrintError("export: " + CShownName::Of(argument) + ": skipped (not a media file the export takes)");
            continue;
        }
        const auto absolute = std::filesystem::absolute(argument, ec);
        files.push_back(ec ? argument : absolute.string());
    }
    if (files.empty())
        return kExitFailed;

    CExporter exporter;
    CCliProgress frontEnd;
    const CExportToFolder::Outcome outcome = CExportToFolder::Run(exporter, frontEnd, files, *folder);
    if (outcome.prepareRefused && outcome.failed.empty()) {
        PrintError("export: cannot make the working folder in the temporary folder");
        return kExitFailed;
    }
    if (outcome.result == JOB_RESULT_CANCELED)
        return kExitCanceled;
    for (const CExporter::FailedSource& entry : outcome.failed)
        PrintError("export: " + CShownName::Of(entry.path) + ": " + oneLine(ExportCauseText(entry, CShownName::Of)));
    for (const std::string& path : outcome.placed)
        std::cout << CShownName::Of(path) << "\n";
    if (outcome.placed.empty())
        return kExitFailed;
    return outcome.failed.empty() && refused == 0 ? kExitOk : kExitSomeFailed;
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
