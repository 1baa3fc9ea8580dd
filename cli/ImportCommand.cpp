// tq9 import: converts PC media files into a card folder, as a drop on the folder does in the GUI.
#include <filesystem>
#include <iostream>

#include "card/CardFolder.h"
#include "card/CardLayout.h"
#include "card/CardScan.h"
#include "cli/CliProgress.h"
#include "cli/Command.h"
#include "jobs/Importer.h"
#include "jobs/Preferences.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "res/MessageCatalogue.h"

namespace tq9::cli {

namespace {

// The card limit of files per folder.
constexpr size_t kMaxFilesPerFolder = 128;

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

int exitCodeFor(int result)
{
    return result == 0 ? kExitOk : result == JOB_RESULT_CANCELED ? kExitCanceled : kExitFailed;
}

int runImport(const ParsedArgs& args)
{
    ConversionSettings settings = CPreferences::ReadImport();
    if (!pairedFlag(args, "ntsc", "pal", settings.NTSC) ||
        !pairedFlag(args, "letterbox", "no-letterbox", settings.LetterBox) ||
        !pairedFlag(args, "two-pass", "one-pass", settings.TwoPass))
        return kExitUsage;

    const std::string folder = args.Positional()[0];
    std::vector<std::string> files;
    for (size_t i = 1; i < args.Positional().size(); ++i) {
        // Drops carry absolute paths; so do the messages that name failed files.
        std::error_code ec;
        const auto absolute = std::filesystem::absolute(args.Positional()[i], ec);
        files.push_back(ec ? args.Positional()[i] : absolute.string());
    }

    CImporter importer;
    importer.SetSettings(settings);

    // A folder that is not one is the job's own refusal (string 201); one that is not on a card is ours.
    if (CFileAttributes::IsDirectory(folder)) {
        auto longPath = CCardScan::CardFolder(folder);
        if (!longPath) {
            PrintError("import: " + folder + ": not a folder of a TQ-9 card");
            return kExitFailed;
        }
        auto present = CCardFolder::ListMediaFiles(*longPath);
        if (!present) {
            PrintError("import: " + folder + ": cannot read the folder");
            return kExitFailed;
        }
        if (files.size() + present->size() > kMaxFilesPerFolder) {
            std::cerr << CMessageCatalogue::Get(IDS_TOO_MANY_FILES) << "\n";
            return kExitFailed;
        }
    }

    // Ctrl-C from here on cancels the job instead of killing the process mid-write.
    CCliProgress frontEnd;
    int result = importer.Prepare(folder, files, CFileSystem::FreeBytes(folder).value_or(0));
    if (result >= 0)
        result = importer.Run(frontEnd);
    const std::string report = ImportReportText(importer, result);
    if (!report.empty())
        std::cerr << report << (report.back() == '\n' ? "" : "\n");
    return exitCodeFor(result);
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
