// tq9 rm: deletes card media files together with their .thm and .mrk sidecars, permanently, through the
// same deletion the file list's delete command uses.
#include <optional>
#include <string>
#include <vector>

#include "card/CardFolder.h"
#include "cli/Command.h"
#include "cli/ShownName.h"
#include "jobs/CardFolderArgument.h"
#include "jobs/CardWriteCause.h"
#include "jobs/ShellFileCalls.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "res/MessageCatalogue.h"

namespace tq9::cli {

namespace {

// The full path of a media file that sits in a folder of a card's device folder and that the file list
// would show; nullopt otherwise.
std::optional<std::string> cardMediaPath(const std::string& argument)
{
    const auto full = CFileSystem::LongPath(argument);
    if (!full)
        return std::nullopt;
    if (!CCardFolderArgument::FolderOfFile(*full) || !CCardFolder::IsListableFile(*full))
        return std::nullopt;
    return full;
}

int runRm(const ParsedArgs& args)
{
    // Every name is checked before anything goes, so a typo in the list deletes nothing.
    std::vector<std::string> paths;
    for (const std::string& argument : args.Positional()) {
        if (RefusedAsTooLong("rm", argument))
            return kExitFailed;
        const auto path = cardMediaPath(argument);
        if (!path) {
            PrintError("rm: " + CShownName::Of(argument) + ": not a media file in a folder of a TQ-9 card");
            return kExitFailed;
        }
        paths.push_back(*path);
    }
    // Sidecar names held by a folder or another non-file stay: they are not part of the item.
    std::vector<std::string> strays;
    const JobOutcome deleted = CShellFileCalls::DeleteSelected(paths, &strays);
    if (deleted.Failed()) {
        PrintLines(CCardWriteCause::OperationFailureText(IDS_DELETE_FAILED, deleted));
        return kExitFailed;
    }
    for (const std::string& stray : strays)
        PrintError("rm: " + CShownName::Of(stray) + ": " +
                   CFileAttributes::RefusalText(CFileAttributes::KindOf(stray)) + "; left in place");
    return kExitOk;
}

} // namespace

TQ9_COMMAND(rmCommand, {"rm", "FILE...", "delete card media files with their .thm and .mrk sidecars (no undo)", {},
                        1, -1, runRm});

} // namespace tq9::cli
