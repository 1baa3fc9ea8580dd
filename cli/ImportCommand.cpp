// tq9 import: converts PC media files into a card folder, as a drop on the folder does in the GUI.
#include <iostream>

#include "cli/CliProgress.h"
#include "cli/Command.h"
#include "cli/ShownName.h"
#include "cli/DropTarget.h"
#include "jobs/Importer.h"
#include "jobs/Preferences.h"
#include "platform/FileSystem.h"
#include "res/MessageCatalogue.h"

namespace tq9::cli {

namespace {

// Picks the value of a pair of opposite flags; both given is a usage error.
bool pairedFlag(const ParsedArgs& args, const char* on, const char* off, int& value)
{
    if (args.Has(on) && args.Has(off)) {
        PrintError(std::string("import: --") + on + " and --" + off + " exclude each other");
        return false;
    }
    if (args.Has(on))
        value = 1;
    else if (args.Has(off))
        value = 0;
    return true;
}

int runImport(const ParsedArgs& args)
{
    ConversionSettings settings = CPreferences::ReadImport();
    if (!pairedFlag(args, "ntsc", "pal", settings.NTSC) ||
        !pairedFlag(args, "letterbox", "no-letterbox", settings.LetterBox) ||
        !pairedFlag(args, "two-pass", "one-pass", settings.TwoPass))
        return kExitUsage;

    const std::string folder = args.Positional()[0];
    const std::vector<std::string> files = AbsolutePaths(args.Positional(), 1);

    CImporter importer;
    importer.SetSettings(settings);
    if (auto refused = CheckFilesExist("import", files))
        return *refused;
    if (auto refused = CheckDropFolder("import", folder, files.size()))
        return *refused;

    // Ctrl-C from here on cancels the job instead of killing the process mid-write.
    CCliProgress frontEnd(true);
    int result = importer.Prepare(folder, files, CFileSystem::FreeBytes(folder).value_or(0));
    if (result >= 0)
        result = importer.Run(frontEnd);
    // Only now is everything on the card.
    if (result == 0)
        frontEnd.ShowFinished();
    // What landed, also when others failed or a cancel came during the placement.
    for (const std::string& path : importer.Imported())
        std::cout << CShownName::Of(path) << "\n";
    // A cancel keeps exit code 1 also when some files had landed or failed: the report names both, and
    // stdout has already listed what landed.
    const std::string report = ImportReportText(importer, result, false, CShownName::Of);
    if (!report.empty())
        std::cerr << report << (report.back() == '\n' ? "" : "\n");
    return JobExitCode(result, importer.Imported().size());
}

} // namespace

TQ9_COMMAND(importCommand,
            {"import",
             "FOLDER FILE...",
             "convert media files into a card folder (defaults from the saved preferences)",
             {{"ntsc", nullptr, "NTSC frame: 720x480 at 29.97"},
              {"pal", nullptr, "PAL frame: 720x576 at 25"},
              {"letterbox", nullptr, "letterbox 16:9 sources into the 4:3 frame"},
              {"no-letterbox", nullptr, "scale 16:9 sources to the full frame"},
              {"two-pass", nullptr, "encode video in two passes"},
              {"one-pass", nullptr, "encode video in one pass"}},
             2,
             -1,
             runImport});

} // namespace tq9::cli
