// tq9: the command-line front end. Global options come before the command word; each command parses
// its own options from its table.
#include <csignal>
#include <QCoreApplication>
#include <iostream>

#include "card/TQ9SystemFile.h"
#include "cli/Command.h"
#include "platform/CardRoots.h"
#include "platform/WorkFolder.h"
#include "res/Version.h"

using namespace tq9::cli;

int main(int argc, char** argv)
{
    // A file-size limit must fail the write (and be reported as too large), not kill the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // QSettings and the imaging code want an application object; nothing here runs an event loop.
    QCoreApplication app(argc, argv);
    // Working folders of imports that were killed (by either program) go at the next start.
    tq9::CWorkFolder::RemoveAbandoned(tq9::IsWorkingFileName);
    std::vector<std::string> args(argv + 1, argv + argc);

    size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            std::cout << ProgramHelpText();
            return kExitOk;
        }
        if (a == "--version") {
            std::cout << "tq9 (TQ-9 Image Converter) " << tq9::kVersion << "\n";
            return kExitOk;
        }
        if (a == "--card-root") {
            if (i + 1 >= args.size()) {
                PrintError("option --card-root needs a value (DIR)");
                return kExitUsage;
            }
            tq9::CCardRoots::AddExtraRoot(args[++i]);
            continue;
        }
        if (a.rfind("--card-root=", 0) == 0) {
            tq9::CCardRoots::AddExtraRoot(a.substr(12));
            continue;
        }
        if (a.rfind("-", 0) == 0) {
            PrintError("unknown option " + a + " (see tq9 --help)");
            return kExitUsage;
        }
        break;
    }
    if (i >= args.size()) {
        std::cerr << ProgramHelpText();
        return kExitUsage;
    }
    const CommandSpec* spec = CCommandRegistry::Find(args[i]);
    if (!spec) {
        PrintError("unknown command '" + args[i] + "' (see tq9 --help)");
        return kExitUsage;
    }
    std::vector<std::string> rest(args.begin() + static_cast<long>(i) + 1, args.end());
    for (const auto& a : rest) {
        if (a == "--")
            break;
        if (a == "--help") {
            std::cout << HelpText(*spec);
            return kExitOk;
        }
    }
    ParsedArgs parsed;
    std::string message;
    if (!ParseOptions(spec->options, rest, parsed, message)) {
        PrintError(std::string(spec->name) + ": " + message);
        return kExitUsage;
    }
    const int n = static_cast<int>(parsed.Positional().size());
    if (n < spec->minArgs || (spec->maxArgs >= 0 && n > spec->maxArgs)) {
        PrintError(std::string(spec->name) + ": wrong number of arguments");
        std::cerr << HelpText(*spec);
        return kExitUsage;
    }
    return spec->run(parsed);
}
