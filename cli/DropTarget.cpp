#include "cli/DropTarget.h"

#include <filesystem>
#include <iostream>

#include "card/CardFolder.h"
#include "card/CardLayout.h"
#include "card/CardScan.h"
#include "cli/Command.h"
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

std::optional<int> CheckDropFolder(const std::string& command, const std::string& folder, size_t adding)
{
    if (!CFileAttributes::IsDirectory(folder))
        return std::nullopt;
    auto longPath = CCardScan::CardFolder(folder);
    if (!longPath) {
        PrintError(command + ": " + folder + ": not a folder of a TQ-9 card");
        return kExitFailed;
    }
    auto present = CCardFolder::ListMediaFiles(*longPath);
    if (!present) {
        PrintError(command + ": " + folder + ": cannot read the folder");
        return kExitFailed;
    }
    if (adding + present->size() > static_cast<size_t>(layout::kMaxFilesPerFolder)) {
        std::cerr << CMessageCatalogue::Get(IDS_TOO_MANY_FILES) << "\n";
        return kExitFailed;
    }
    return std::nullopt;
}

int JobExitCode(int result)
{
    return result == 0 ? kExitOk : result == JOB_RESULT_CANCELED ? kExitCanceled : kExitFailed;
}

} // namespace tq9::cli
