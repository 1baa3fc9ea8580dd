#include "cli/DropTarget.h"

#include <filesystem>
#include <iostream>

#include "card/CardLayout.h"
#include "cli/Command.h"
#include "cli/ShownName.h"
#include "jobs/CardFolderArgument.h"
#include "jobs/ConvProgress.h"
#include "platform/FileAttributes.h"
#include "res/MessageCatalogue.h"

namespace tq9::cli {

std::vector<std::string> AbsolutePaths(const std::vector<std::string>& arguments, size_t first)
{
    std::vector<std::string> files;
    for (size_t i = first; i < arguments.size(); ++i) {
        std::error_code ec;
        const auto absolute = std::filesystem::absolute(arguments[i], ec);
        files.push_back(ec ? arguments[i] : absolute.string());
    }
    return files;
}

std::optional<int> CheckFilesExist(const std::string& command, const std::vector<std::string>& files)
{
    bool refused = false;
    for (const std::string& file : files) {
        if (RefusedAsTooLong(command, file)) {
            refused = true;
        } else if (CFileAttributes::Get(file) == INVALID_FILE_ATTRIBUTES) {
            PrintError(command + ": " + CShownName::Of(file) + ": no such file");
            refused = true;
        }
    }
    return refused ? std::optional<int>(kExitFailed) : std::nullopt;
}

std::optional<int> CheckDropFolder(const std::string& command, const std::string& folder, size_t adding)
{
    const ResolvedCardFolder target = CCardFolderArgument::Resolve(folder);
    if (target.kind == ResolvedCardFolder::Kind::Missing)
        return std::nullopt;
    if (target.kind != ResolvedCardFolder::Kind::CardFolder) {
        PrintError(command + ": " + CShownName::Of(folder) + ": " + CCardFolderArgument::RefusalText(target.kind));
        return kExitFailed;
    }
    if (!CCardLayout::HasRoomFor(target.mediaFiles.size(), adding)) {
        std::cerr << CMessageCatalogue::Get(IDS_TOO_MANY_FILES) << "\n";
        return kExitFailed;
    }
    return std::nullopt;
}

int JobExitCode(int result, size_t placed)
{
    if (result < 0 && placed > 0)
        return kExitSomeFailed;
    return result == 0 ? kExitOk : result == JOB_RESULT_CANCELED ? kExitCanceled : kExitFailed;
}

} // namespace tq9::cli
