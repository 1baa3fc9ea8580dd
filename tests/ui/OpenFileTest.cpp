// Open and Show in File Manager when the desktop has no program for them: without an opener the command
// fails at once; when the opener finds no program for the type, a message says so.
#include "GuiFixture.h"

#include "ui/OpenFile.h"

#include <sys/stat.h>

#include <cstdlib>

using namespace tq9test;

namespace {
class OpenFileTest : public GuiFixture {};
} // namespace

TEST_F(OpenFileTest, TheUserIsToldWhenNoProgramOpensTheFile)
{
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    const fs::path bin = m_dir / "bin";
    fs::create_directories(bin);
    ::setenv("PATH", bin.c_str(), 1);
    EXPECT_FALSE(tq9::COpenFile::Open("/tmp")) << "no xdg-open on the path";

    // An xdg-open that finds no program, as xdg-utils does without a desktop.
    WriteFile(bin / "xdg-open", "#!/bin/sh\nexit 3\n");
    ::chmod((bin / "xdg-open").c_str(), 0755);
    EXPECT_TRUE(tq9::COpenFile::Open("/tmp/clip.mp4"));
    ::setenv("PATH", path.c_str(), 1);
    ASSERT_TRUE(WaitFor([&] { return !m_messages.empty(); }));
    EXPECT_EQ(m_messages.front().text.rfind("There is no program to open /tmp/clip.mp4.", 0), 0u) << m_messages.front().text;
}
