#include "cli/Command.h"

#include <algorithm>
#include <iostream>
#include <sstream>

#include "cli/ShownName.h"
#include "platform/FileSystem.h"
#include "res/MessageCatalogue.h"

namespace tq9::cli {

namespace {
std::vector<CommandSpec>& registry()
{
    static std::vector<CommandSpec> commands;
    return commands;
}
} // namespace

std::string ParsedArgs::Value(const std::string& option, const std::string& fallback) const
{
    auto it = m_options.find(option);
    if (it == m_options.end() || it->second.empty())
        return fallback;
    return it->second.back();
}

std::vector<std::string> ParsedArgs::Values(const std::string& option) const
{
    auto it = m_options.find(option);
    return it == m_options.end() ? std::vector<std::string>() : it->second;
}

void CCommandRegistry::Add(const CommandSpec& spec)
{
    registry().push_back(spec);
}

const std::vector<CommandSpec>& CCommandRegistry::All()
{
    return registry();
}

const CommandSpec* CCommandRegistry::Find(const std::string& name)
{
    for (const auto& c : registry())
        if (name == c.name)
            return &c;
    return nullptr;
}

bool ParseOptions(const std::vector<OptionSpec>& options, const std::vector<std::string>& argv, ParsedArgs& out,
                  std::string& message)
{
    bool optionsEnded = false;
    for (size_t i = 0; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (optionsEnded || a.size() < 3 || a.compare(0, 2, "--") != 0) {
            if (a == "--" && !optionsEnded) {
                optionsEnded = true;
                continue;
            }
            out.m_positional.push_back(a);
            continue;
        }
        std::string name = a.substr(2);
        std::string value;
        bool inlineValue = false;
        if (auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            inlineValue = true;
        }
        const OptionSpec* spec = nullptr;
        for (const auto& o : options)
            if (name == o.name)
                spec = &o;
        if (!spec) {
            message = "unknown option --" + name;
            return false;
        }
        if (spec->valueName) {
            if (!inlineValue) {
                if (i + 1 >= argv.size()) {
                    message = "option --" + name + " needs a value (" + spec->valueName + ")";
                    return false;
                }
                value = argv[++i];
            }
            out.m_options[name].push_back(value);
        } else {
            if (inlineValue) {
                message = "option --" + name + " takes no value";
                return false;
            }
            out.m_options[name];
        }
    }
    return true;
}

// The help's width: a terminal's 80 columns.
constexpr size_t kHelpWidth = 79;

// Writes text from column `column` (the cursor is there), broken between words to end by kHelpWidth; each
// further line starts at column `column` too.
static void appendWrapped(std::ostringstream& s, const std::string& text, size_t column)
{
    size_t at = column;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos)
            end = text.size();
        const size_t length = end - start;
        if (at > column && at + 1 + length > kHelpWidth) {
            s << "\n" << std::string(column, ' ');
            at = column;
        } else if (at > column) {
            s << ' ';
            ++at;
        }
        s << text.substr(start, length);
        at += length;
        start = end + 1;
    }
    s << "\n";
}

// "  LEFT" padded to the column of the texts, then the text wrapped there.
static void appendItem(std::ostringstream& s, const std::string& left, size_t textColumn, const std::string& text)
{
    std::string line = "  " + left;
    line.resize(std::max(line.size() + 1, textColumn), ' ');
    s << line;
    appendWrapped(s, text, line.size());
}

static void appendOptions(std::ostringstream& s, const std::vector<OptionSpec>& options)
{
    for (const auto& o : options) {
        std::string left = std::string("--") + o.name;
        if (o.valueName)
            left += std::string(" ") + o.valueName;
        appendItem(s, left, 25, o.help);
    }
}

std::string HelpText(const CommandSpec& spec)
{
    std::ostringstream s;
    s << "Usage: tq9 [--card-root DIR]... " << spec.name;
    if (!spec.options.empty())
        s << " [OPTIONS]";
    if (spec.arguments && *spec.arguments)
        s << " " << spec.arguments;
    s << "\n";
    appendWrapped(s, spec.summary, 0);
    std::vector<OptionSpec> all = spec.options;
    all.push_back({"help", nullptr, "show this help"});
    s << "\nOptions:\n";
    appendOptions(s, all);
    return s.str();
}

std::string ProgramHelpText()
{
    std::ostringstream s;
    s << "Usage: tq9 [--card-root DIR]... COMMAND [ARGS]...\n";
    appendWrapped(s, "Works with TQ-9 cards: lists their folders and media files, creates folders, imports, "
                     "exports, duplicates and deletes files, and probes media files.", 0);
    s << "\nGlobal options:\n";
    appendOptions(s, {{"card-root", "DIR", "also look for a card in DIR (repeatable)"},
                      {"help", nullptr, "show this help"},
                      {"version", nullptr, "show the version"}});
    s << "\nCommands:\n";
    for (const auto& c : CCommandRegistry::All())
        appendItem(s, c.name, 13, c.summary);
    s << "\nRun 'tq9 COMMAND --help' for a command's options.\n";
    return s.str();
}

void PrintError(const std::string& message)
{
    std::cerr << "tq9: " << message << std::endl;
}

bool RefusedAsTooLong(const std::string& command, const std::string& path)
{
    if (!CFileSystem::IsTooLong(path))
        return false;
    PrintError(command + ": " + CShownName::Of(path) + ": " + CMessageCatalogue::Get(IDS_PATH_TOO_LONG));
    return true;
}

void PrintLines(const std::string& text)
{
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        PrintError(text.substr(start, end - start));
}

} // namespace tq9::cli
