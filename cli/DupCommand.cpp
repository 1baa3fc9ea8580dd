// tq9 dup: copies card media files with their .thm and .mrk sidecars into another card folder under free
// names, as dragging them from the file list onto a tree folder does in the GUI.
#include <iostream>

#include "cli/CliProgress.h"
#include "cli/Command.h"
#include "cli/ShownName.h"
#include "cli/DropTarget.h"
#include "jobs/CardFolderArgument.h"
#include "jobs/Duplicator.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"

namespace tq9::cli {

namespace {

// Only a card file may be duplicated; a folder is left to the job, which has a text for it.
bool onCard(const std::string& path)
{
    if (!CFileAttributes::IsFile(path))
        return true;
    return CCardFolderArgument::FolderOfFile(path).has_value();
}

int runDup(const ParsedArgs& args)
{
    const std::string folder = args.Positional()[0];
    const std::vector<std::string> files = AbsolutePaths(args.Positional(), 1);
    if (auto refused = CheckFilesExist("dup", files))
        return *refused;
    for (const std::string& file : files) {
        if (!onCard(file)) {
            PrintError("dup: " + CShownName::Of(file) + ": not a file in a folder of a TQ-9 card");
            return kExitFailed;
        }
    }
    if (auto refused = CheckDropFolder("dup", folder, files.size()))
        return *refused;

    CDuplicator duplicator;
    CCliProgress frontEnd; // Ctrl-C from here on cancels the copy and removes what it wrote
    int result = duplicator.Prepare(folder, files, 0);
    if (result >= 0)
        result = duplicator.Run(frontEnd);
    for (const std::string& path : duplicator.Duplicated())
        std::cout << CShownName::Of(path) << "\n";
    const std::string report = DuplicationReportText(duplicator, result, CShownName::Of);
    if (!report.empty())
        std::cerr << report << (report.back() == '\n' ? "" : "\n");
    // Items that landed while others failed (each named with its cause above) say so.
    return JobExitCode(result, duplicator.Duplicated().size());
}

} // namespace

TQ9_COMMAND(dupCommand, {"dup", "FOLDER FILE...",
                         "copy card media files with their .thm and .mrk into another card folder", {}, 2, -1,
                         runDup});

} // namespace tq9::cli
