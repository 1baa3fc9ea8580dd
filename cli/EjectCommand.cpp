// tq9 eject: takes a card out safely, the way the window's Eject does: unmounts it (and powers off its
// drive where it can be) through the desktop's disk service, or says why not and what to run instead.
#include <filesystem>
#include <iostream>
#include <string>

#include "card/CardEject.h"
#include "card/CardLayout.h"
#include "cli/Command.h"
#include "cli/ShownName.h"
#include "platform/FileSystem.h"
#include "platform/VolumeEject.h"

namespace tq9::cli {

namespace {

// The card root or mount point that holds the argument (the card's root, its device folder or anything on
// it), whichever comes first going up; the argument itself when that is no card, so the refusal names it.
std::string cardRootOf(const std::string& argument)
{
    const auto full = CFileSystem::LongPath(argument);
    if (!full)
        return argument;
    for (std::filesystem::path at = *full; !at.empty(); at = at.parent_path()) {
        if (CCardLayout::IsCard(at.string()))
            return at.string();
        if (CVolumeEject::IsMountPoint(at.string()))
            break;
        if (at == at.root_path())
            break;
    }
    return *full;
}

int runEject(const ParsedArgs& args)
{
    if (RefusedAsTooLong("eject", args.Positional().front()))
        return kExitFailed;
    const CCardEject::Result result = CCardEject::Eject(cardRootOf(args.Positional().front()), CShownName::Of);
    if (!result.ejected) {
        PrintError("eject: " + result.message);
        return kExitFailed;
    }
    std::cout << result.message << "\n";
    return kExitOk;
}

} // namespace

TQ9_COMMAND(ejectCommand, {"eject", "CARD", "unmount a card (and power off its drive) so that it can be taken out",
                           {}, 1, 1, runEject});

} // namespace tq9::cli
