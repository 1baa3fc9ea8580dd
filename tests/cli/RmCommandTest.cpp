// tq9 rm end to end: what it deletes, what it refuses, and how it fails.
#include <gtest/gtest.h>

#include "support/FileOpTestSupport.h"
#include "support/ScratchMount.h"
#include "support/TestSupport.h"

using namespace tq9test;

namespace {

ProcessResult Rm(const fs::path& root, const std::vector<std::string>& files, const std::vector<std::string>& env = {})
{
    std::vector<std::string> argv = {BinPath("tq9").string(), "--card-root", root.string(), "rm"};
    argv.insert(argv.end(), files.begin(), files.end());
    return RunProcess(argv, env);
}

} // namespace

TEST(RmCommand, DeletesMediaFilesWithTheirSidecars)
{
    TempDir root;
    const fs::path folder = MakeCard(root.Path(), {1}) / "TQ9_0001";
    for (const char* name : {"clip.mp4", "clip.thm", "clip.mrk", "photo.JPG", "photo.thm", "other.mp4"})
        WriteFile(folder / name, "x");

    const ProcessResult r = Rm(root.Path(), {(folder / "clip.mp4").string(), (folder / "photo.JPG").string()});

    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Names(folder), std::vector<std::string> {"other.mp4"});
}

TEST(RmCommand, RefusesWhatIsNotACardMediaFileAndDeletesNothing)
{
    TempDir root, elsewhere;
    const fs::path device = MakeCard(root.Path(), {1});
    const fs::path folder = device / "TQ9_0001";
    for (const char* name : {"clip.mp4", "clip.thm", "notes.txt"})
        WriteFile(folder / name, "x");
    WriteFile(device / "loose.mp4", "x");
    WriteFile(elsewhere / "home.mp4", "x");

    for (const fs::path& bad : {folder / "clip.thm", folder / "notes.txt", folder / "gone.mp4", device / "loose.mp4",
                                elsewhere / "home.mp4"}) {
        const ProcessResult r = Rm(root.Path(), {(folder / "clip.mp4").string(), bad.string()});
        EXPECT_EQ(r.exitCode, 3) << bad;
        EXPECT_NE(r.err.find("not a media file"), std::string::npos) << r.err;
    }
    EXPECT_EQ(Names(folder), (std::vector<std::string> {"clip.mp4", "clip.thm", "notes.txt"}));
    EXPECT_TRUE(fs::exists(elsewhere / "home.mp4"));
}

// A write-protected card: rm and mkdir both fail and name the cause; nothing is deleted or made.
TEST(RmCommand, AFailedDeletionSaysWhyAndNamesTheErrorInTheDebugLog)
{
    std::string why;
    auto card = ScratchMount::Tmpfs("1m", why);
    if (!card)
        GTEST_SKIP() << why;
    const fs::path folder = MakeCard(card->Path(), {1}) / "TQ9_0001";
    WriteFile(folder / "clip.mp4", "x");
    WriteFile(folder / "clip.mrk", "x");
    ASSERT_TRUE(card->Remount("ro")); // a write-protected card

    const ProcessResult r = Rm(card->Path(), {(folder / "clip.mp4").string()}, {"TQ9_DEBUG=1"});

    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("tq9: Failed to delete file.\ntq9: The card is write-protected or read-only.\n"),
              std::string::npos) << r.err;
    EXPECT_NE(r.err.find("EROFS"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::exists(folder / "clip.mp4"));

    const ProcessResult mkdir = RunProcess({BinPath("tq9").string(), "mkdir", folder.parent_path().string()});
    EXPECT_EQ(mkdir.exitCode, 3);
    EXPECT_EQ(mkdir.err, "tq9: Failed to make folder.\ntq9: The card is write-protected or read-only.\n");
    EXPECT_FALSE(fs::exists(folder.parent_path() / "TQ9_0002"));
}
