// tq9 --version shows the project's version (the one the package and the About box carry).
#include <gtest/gtest.h>

#include "res/Version.h"
#include "support/TestSupport.h"

TEST(CliUsage, VersionIsTheProjectsOne)
{
    const tq9test::ProcessResult r = tq9test::RunProcess({tq9test::BinPath("tq9").string(), "--version"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, std::string("tq9 (TQ-9 Image Converter) ") + tq9::kVersion + "\n");
    const tq9test::ProcessResult help = tq9test::RunProcess({tq9test::BinPath("tq9").string(), "--help"});
    EXPECT_NE(help.out.find("--version"), std::string::npos);
}
