// The program's command line.
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tq9test;

TEST(AppTest, HelpNamesTheCardRootOptionAndNeedsNoDisplay)
{
    const fs::path app = BinPath("tq9-image-converter");
    if (!fs::exists(app))
        GTEST_SKIP() << "the program is not built";
    const ProcessResult help = RunProcess({app.string(), "--help"}, {"QT_QPA_PLATFORM=", "DISPLAY="});
    EXPECT_EQ(help.exitCode, 0) << help.err;
    EXPECT_NE(help.out.find("--card-root <DIR>"), std::string::npos) << help.out;

    const ProcessResult wrong = RunProcess({app.string(), "--no-such-option", "--help"});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_NE(wrong.err.find("no-such-option"), std::string::npos) << wrong.err;
}
