// tq9 cards, tq9 ls, tq9 mkdir: browsing a card and making folders.
#include <algorithm>
#include <cerrno>
#include <iostream>

#include "card/CardFolder.h"
#include "card/CardScan.h"
#include "card/NaturalOrder.h"
#include "card/UserException.h"
#include "cli/Command.h"
#include "cli/ShownName.h"
#include "jobs/CardWriteCause.h"
#include "jobs/CardFolderArgument.h"
#include "res/MessageCatalogue.h"

namespace tq9::cli {

namespace {

int runCards(const ParsedArgs&)
{
    try {
        std::vector<std::string> tooLong;
        std::vector<CardInfo> cards = CCardScan::Scan(&tooLong);
        // Left out as the other commands would refuse them, with the cause.
        for (const std::string& root : tooLong)
            PrintError(CShownName::Of(root) + ": " + CMessageCatalogue::Get(IDS_PATH_TOO_LONG));
        if (cards.empty() && tooLong.empty()) {
            // Said on stderr, so a script reading the list still reads an empty one.
            PrintError(CMessageCatalogue::Get(IDS_NO_CARD_FOUND));
            return kExitOk;
        }
        for (CardInfo& card : cards) {
            std::cout << CShownName::Of(card.root) << "\n";
            // As the window lists them: by number, whatever order the file system keeps.
            std::sort(card.folders.begin(), card.folders.end(), CNaturalOrder::PathLess);
            for (const std::string& folder : card.folders)
                std::cout << "  " << CShownName::Of(folder) << "\n";
        }
    } catch (const CUserException&) {
        PrintError(CMessageCatalogue::Get(IDS_CARD_CHECK_FAILED));
        return kExitFailed;
    }
    return kExitOk;
}

int runLs(const ParsedArgs& args)
{
    const std::string folder = args.Positional()[0];
    ResolvedCardFolder target = CCardFolderArgument::Resolve(folder);
    if (target.kind != ResolvedCardFolder::Kind::CardFolder) {
        PrintError("ls: " + CShownName::Of(folder) + ": " + CCardFolderArgument::RefusalText(target.kind));
        return kExitFailed;
    }
    std::sort(target.mediaFiles.begin(), target.mediaFiles.end(), CNaturalOrder::PathLess); // the window's order
    for (const std::string& path : target.mediaFiles) {
        std::cout << CShownName::Of(CCardFolder::NameText(path)) << '\t' << CCardFolder::DurationText(path) << '\t'
                  << CCardFolder::SizeTextOf(path) << '\t' << CCardFolder::DateTextOf(path) << "\n";
    }
    return kExitOk;
}

int runMkdir(const ParsedArgs& args)
{
    if (RefusedAsTooLong("mkdir", args.Positional()[0]))
        return kExitFailed;
    auto device = CCardScan::DeviceFolderFor(args.Positional()[0]);
    std::optional<std::string> made;
    errno = 0;
    if (device)
        made = CCardScan::CreateNumberedFolder(*device);
    if (!made) {
        const JobOutcome why = device ? CCardWriteCause::OfMakeFolder(errno, *device) : JobOutcome{};
        PrintLines(CCardWriteCause::OperationFailureText(IDS_MAKE_FOLDER_FAILED, why));
        return kExitFailed;
    }
    std::cout << CShownName::Of(*made) << "\n";
    return kExitOk;
}

} // namespace

TQ9_COMMAND(cardsCommand, {"cards", "", "list the cards found and the folders of each", {}, 0, 0, runCards});
TQ9_COMMAND(lsCommand, {"ls", "FOLDER", "list the media files of a card folder: name, duration, size, date", {},
                        1, 1, runLs});
TQ9_COMMAND(mkdirCommand, {"mkdir", "PATH", "create the next numbered folder on the card holding PATH", {}, 1, 1,
                           runMkdir});

} // namespace tq9::cli
