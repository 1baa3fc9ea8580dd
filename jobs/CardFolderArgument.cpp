#include "jobs/CardFolderArgument.h"

#include <filesystem>

#include "card/CardFolder.h"
#include "card/CardScan.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "res/MessageCatalogue.h"

namespace tq9 {

ResolvedCardFolder CCardFolderArgument::Resolve(const std::string& argument)
{
    ResolvedCardFolder result;
    if (CFileSystem::IsTooLong(argument)) {
        result.kind = ResolvedCardFolder::Kind::TooLong;
        return result;
    }
    if (!CFileAttributes::IsDirectory(argument))
        return result;
    auto folder = CCardScan::CardFolder(argument);
    if (!folder) {
        result.kind = ResolvedCardFolder::Kind::NotCardFolder;
        return result;
    }
    auto files = CCardFolder::ListMediaFiles(*folder);
    if (!files) {
        result.kind = ResolvedCardFolder::Kind::Unreadable;
        return result;
    }
    result.kind = ResolvedCardFolder::Kind::CardFolder;
    result.folder = std::move(*folder);
    result.mediaFiles = std::move(*files);
    return result;
}

std::string CCardFolderArgument::RefusalText(ResolvedCardFolder::Kind kind)
{
    switch (kind) {
    case ResolvedCardFolder::Kind::CardFolder:
        return {};
    case ResolvedCardFolder::Kind::Missing:
        return "not a folder";
    case ResolvedCardFolder::Kind::NotCardFolder:
        return "not a folder of a TQ-9 card";
    case ResolvedCardFolder::Kind::Unreadable:
        return "cannot read the folder";
    case ResolvedCardFolder::Kind::TooLong:
        return CMessageCatalogue::Get(IDS_PATH_TOO_LONG);
    }
    return {};
}

std::optional<std::string> CCardFolderArgument::FolderOfFile(const std::string& file)
{
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(file, ec);
    if (ec || !absolute.has_filename())
        return std::nullopt;
    return CCardScan::CardFolder(absolute.parent_path().string());
}

} // namespace tq9
