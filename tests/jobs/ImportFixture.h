// A card and a private temporary folder (TMPDIR) for the import tests, so each test can check that no
// working file is left behind.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "card/ImportSystemFile.h"
#include "support/TestSupport.h"

namespace tq9test {

// A converted item waiting in the temporary folder: the files its flags name, each holding its own name
// after tag, so a file paired with the wrong item shows.
inline tq9::CTQ9ImportSystemFile Converted(const fs::path& temp, const fs::path& card, const std::string& name,
                                           const std::string& ext, uint32_t flags, const std::string& tag = "")
{
    tq9::CTQ9ImportSystemFile r;
    r.flags = flags;
    const std::string exts[3] = {ext, "thm", "mrk"};
    std::string* temps[3] = {&r.tempMediaPath, &r.tempThumbnailPath, &r.tempMarkerPath};
    std::string* dests[3] = {&r.destMediaPath, &r.destThumbnailPath, &r.destMarkerPath};
    const uint32_t bits[3] = {tq9::FILE_MEDIA, tq9::FILE_THUMBNAIL, tq9::FILE_MARKER};
    for (int part = 0; part < 3; ++part) {
        if (!(flags & bits[part]))
            continue;
        *temps[part] = (temp / (name + "." + exts[part])).string();
        *dests[part] = (card / (name + "." + exts[part])).string();
        WriteFile(*temps[part], tag + name + "." + exts[part] + " bytes");
    }
    return r;
}

class ImportFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* old = std::getenv("TMPDIR"))
            m_oldTmp = old;
        tmp = dir / "tmp";
        fs::create_directories(tmp);
        ::setenv("TMPDIR", tmp.c_str(), 1);
        device = MakeCard(dir / "card", {1});
        card = device / "TQ9_0001";
        pc = dir / "pc";
        fs::create_directories(pc);
    }
    void TearDown() override
    {
        if (m_oldTmp)
            ::setenv("TMPDIR", m_oldTmp->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }

    // A PC file with some bytes.
    std::string Source(const std::string& name, const std::string& bytes = "source bytes")
    {
        const fs::path p = pc / name;
        fs::create_directories(p.parent_path());
        WriteFile(p, bytes);
        return p.string();
    }

    static std::vector<std::string> Names(const fs::path& folder)
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir;
    fs::path tmp;
    fs::path device;
    fs::path card;
    fs::path pc;

private:
    std::optional<std::string> m_oldTmp;
};

} // namespace tq9test
