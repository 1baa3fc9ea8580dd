// tq9 dup end to end: what it prints and copies, and how it refuses.
#include <gtest/gtest.h>

#include "res/MessageCatalogue.h"
#include "support/FileOpTestSupport.h"
#include "support/ScratchMount.h"
#include "support/TestSupport.h"

using namespace tq9test;

namespace {

ProcessResult Dup(const fs::path& root, const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {BinPath("tq9").string(), "--card-root", root.string(), "dup"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv);
}

bool has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(DupCommand, PrintsTheNewMediaPathsAndCopiesTheSidecars)
{
    TempDir root;
    const fs::path device = MakeCard(root.Path(), {1, 2});
    const fs::path from = device / "TQ9_0001", to = device / "TQ9_0002";
    for (const char* name : {"clip.mp4", "clip.thm", "clip.mrk", "song.mp3"})
        WriteFile(from / name, Blob(1500, name[0]));
    WriteFile(to / "song.mp3", "x");

    const ProcessResult r = Dup(root.Path(), {to.string(), (from / "clip.mp4").string(), (from / "song.mp3").string()});

    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, (to / "clip.mp4").string() + "\n" + (to / "song_0.mp3").string() + "\n");
    EXPECT_EQ(Names(to), (std::vector<std::string>{"clip.mp4", "clip.mrk", "clip.thm", "song.mp3", "song_0.mp3"}));
    EXPECT_EQ(ReadFile(to / "clip.thm"), ReadFile(from / "clip.thm"));
    // It copies, and its progress says so.
    EXPECT_TRUE(has(r.err, "Copied file 2/2")) << r.err;
    EXPECT_FALSE(has(r.err, "Convert")) << r.err;
}

TEST(DupCommand, RefusalsExitWithThreeAndTheJobsTexts)
{
    TempDir root, elsewhere;
    const fs::path device = MakeCard(root.Path(), {1, 2});
    const fs::path from = device / "TQ9_0001", to = device / "TQ9_0002";
    WriteFile(from / "clip.mp4", "x");
    WriteFile(from / "notes.txt", "x");
    WriteFile(elsewhere / "home.mp4", "x");

    // A missing file is named.
    ProcessResult r = Dup(root.Path(), {to.string(), (from / "clip.mp4").string(), (from / "gone.mp4").string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err, "tq9: dup: " + (from / "gone.mp4").string() + ": no such file\n");
    EXPECT_EQ(Names(to), std::vector<std::string>{});

    r = Dup(root.Path(), {to.string(), (from / "clip.mp4").string(), (from / "notes.txt").string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(has(r.err, "other error\n")) << r.err;
    EXPECT_TRUE(has(r.err, (from / "notes.txt").string())) << r.err;

    r = Dup(root.Path(), {(to / "missing").string(), (from / "clip.mp4").string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(has(r.err, "The " + (to / "missing").string() + " is not directry attribution.")) << r.err;

    r = Dup(root.Path(), {to.string(), (elsewhere / "home.mp4").string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(has(r.err, "not a file in a folder of a TQ-9 card")) << r.err;

    // The device's limit of files per folder counts what the folder holds already.
    for (int i = 0; i < 128; ++i)
        WriteFile(to / ("f" + std::to_string(i) + ".jpg"), "x");
    r = Dup(root.Path(), {to.string(), (from / "clip.mp4").string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(has(r.err, "Number of file in this folder exceeds limit.")) << r.err;
    EXPECT_FALSE(fs::exists(to / "clip.mp4"));
}

TEST(DupCommand, AFullCardIsNamedPerItemAndWhatLandedExitsFour)
{
    std::string skip;
    auto small = ScratchMount::Tmpfs("96k", skip);
    if (!small)
        GTEST_SKIP() << skip;
    const fs::path smallDevice = MakeCard(small->Path(), {1});
    TempDir root;
    const fs::path from = MakeCard(root.Path(), {1}) / "TQ9_0001";
    WriteFile(from / "big.mp4", Blob(300000, 1));
    WriteFile(from / "small.mp3", "x");
    const fs::path to = smallDevice / "TQ9_0001";

    const ProcessResult r = Dup(small->Path(), {to.string(), (from / "big.mp4").string(), (from / "small.mp3").string()});
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_EQ(r.out, (to / "small.mp3").string() + "\n");
    EXPECT_TRUE(has(r.err, "Not enough free space on the card.\nAbout ")) << r.err;
    EXPECT_TRUE(has(r.err, "filename\nNot enough free space on the card.\n" + (from / "big.mp4").string())) << r.err;
    EXPECT_FALSE(has(r.err, "other error")) << r.err;
    EXPECT_TRUE(has(r.err, "Copied file 2/2  Copied 1 of 2 files; 1 failed.\n")) << r.err;
}
