// The desktop entry offers the program the files its import takes, and those only: the entry's MimeType
// list and the import table agree through the shared MIME database, which names the types of file names.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "card/ImportSystemFile.h"
#include "support/TestSupport.h"

using namespace tq9test;

namespace {

const fs::path kMimeDatabase = "/usr/share/mime";

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);)
        if (!part.empty())
            parts.push_back(part);
    return parts;
}

// A type under the name the database gives it ("video/x-ms-asf" is "application/vnd.ms-asf").
std::string Canonical(const std::string& type)
{
    std::ifstream aliases(kMimeDatabase / "aliases");
    for (std::string alias, canonical; aliases >> alias >> canonical;)
        if (alias == type)
            return canonical;
    return type;
}

// The database's "weight:type:*.ext" globs, as extension -> types.
std::map<std::string, std::set<std::string>> TypesByExtension()
{
    std::map<std::string, std::set<std::string>> types;
    std::ifstream globs(kMimeDatabase / "globs2");
    for (std::string line; std::getline(globs, line);) {
        const std::vector<std::string> fields = Split(line, ':');
        if (line[0] != '#' && fields.size() >= 3 && fields[2].rfind("*.", 0) == 0)
            types[fields[2].substr(2)].insert(fields[1]);
    }
    return types;
}

std::set<std::string> DesktopEntryTypes()
{
    std::ifstream entry(fs::path(TQ9_SOURCE_DIR) / "packaging" / "tq9-image-converter.desktop");
    std::set<std::string> types;
    for (std::string line; std::getline(entry, line);)
        if (line.rfind("MimeType=", 0) == 0)
            for (const std::string& type : Split(line.substr(9), ';'))
                types.insert(Canonical(type));
    return types;
}

} // namespace

TEST(ImportTypes, DesktopEntryAndImportTableAgree)
{
    if (!fs::exists(kMimeDatabase / "globs2"))
        GTEST_SKIP() << "needs the shared MIME database (shared-mime-info)";
    const auto byExtension = TypesByExtension();
    const std::set<std::string> claimed = DesktopEntryTypes();
    ASSERT_FALSE(claimed.empty());

    std::set<std::string> importable;
    for (const tq9::ExtensionRow* row = tq9::kImportExtensionTable; row->extension[0] != '\0'; ++row)
        if (row->flags != 0)
            importable.insert(row->extension);
    // Every kind of file the import takes is offered to the program by a type the entry claims ...
    std::set<std::string> reached;
    for (const std::string& extension : importable) {
        const auto types = byExtension.find(extension);
        bool offered = false;
        for (const std::string& type : types == byExtension.end() ? std::set<std::string>() : types->second)
            if (claimed.count(type)) {
                offered = true;
                reached.insert(type);
            }
        EXPECT_TRUE(offered) << "." << extension << " is imported, but no type of it is in the desktop entry";
    }
    // ... and every type the entry claims is one of those (a type of none of its names would end in a refusal).
    for (const std::string& type : claimed)
        EXPECT_TRUE(reached.count(type)) << type << " is in the desktop entry, but none of its names is imported";
}
