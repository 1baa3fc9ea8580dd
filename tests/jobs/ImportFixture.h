// A card and a private temporary folder (TMPDIR) for the import tests, so each test can check that no
// working file is left behind.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace tq9test {

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
