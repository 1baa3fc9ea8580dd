// The tq9 command table. Each command lives in its own file and registers itself with TQ9_COMMAND; its
// options are declared once in its spec, which also produces its --help text.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace tq9::cli {

// Exit codes shared by every command: 3 when nothing was done, 4 when some files were done and others
// failed (each named on stderr).
enum ExitCode { kExitOk = 0, kExitCanceled = 1, kExitUsage = 2, kExitFailed = 3, kExitSomeFailed = 4 };

struct OptionSpec {
    const char* name;      // long name without the dashes, e.g. "card-root"
    const char* valueName; // nullptr for a flag, else the placeholder shown in --help ("DIR")
    const char* help;
};

class ParsedArgs {
public:
    bool Has(const std::string& option) const { return m_options.count(option) != 0; }
    // The last value given for option, or fallback.
    std::string Value(const std::string& option, const std::string& fallback = "") const;
    std::vector<std::string> Values(const std::string& option) const;
    const std::vector<std::string>& Positional() const { return m_positional; }

    std::map<std::string, std::vector<std::string>> m_options;
    std::vector<std::string> m_positional;
};

struct CommandSpec {
    const char* name;
    const char* arguments; // shown after the name in usage, e.g. "FOLDER FILE..."
    const char* summary;
    std::vector<OptionSpec> options;
    int minArgs;
    int maxArgs; // -1: no upper bound
    int (*run)(const ParsedArgs& args);
};

class CCommandRegistry {
public:
    static void Add(const CommandSpec& spec);
    static const std::vector<CommandSpec>& All();
    static const CommandSpec* Find(const std::string& name);
};

struct CommandRegistrar {
    explicit CommandRegistrar(const CommandSpec& spec) { CCommandRegistry::Add(spec); }
};

#define TQ9_COMMAND(var, ...) static const ::tq9::cli::CommandRegistrar var(::tq9::cli::CommandSpec __VA_ARGS__)

// Parses argv against options; on error fills message and returns false. "--" ends the options.
bool ParseOptions(const std::vector<OptionSpec>& options, const std::vector<std::string>& argv, ParsedArgs& out,
                  std::string& message);
std::string HelpText(const CommandSpec& spec);
std::string ProgramHelpText();

// One-line messages on stderr, prefixed with "tq9: ".
void PrintError(const std::string& message);
// Each "\n"-ended line of text as PrintError does.
void PrintLines(const std::string& text);

// When path (or what it stands for) is longer than the system takes, says so as "<command>: <path>: ..."
// and returns true: every command refuses such a path with the cause that tq9 cards gives.
bool RefusedAsTooLong(const std::string& command, const std::string& path);

} // namespace tq9::cli
