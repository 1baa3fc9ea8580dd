// tq9 export end to end: what lands in the folder, what is skipped, and that the temporary folder is left
// empty whatever the outcome.
#include <gtest/gtest.h>

#include "support/FileOpTestSupport.h"
#include "support/TestSupport.h"

using namespace tq9test;

namespace {

struct ExportRun {
    TempDir root;
    fs::path folder = MakeCard(root.Path(), {1}) / "TQ9_0001";
    fs::path out = root / "out";
    fs::path tmp = root / "tmp";
    ExportRun()
    {
        fs::create_directories(out);
        fs::create_directories(tmp);
    }
    ProcessResult Export(const std::vector<std::string>& files, const std::vector<std::string>& options = {})
    {
        std::vector<std::string> argv = {BinPath("tq9").string(), "export"};
        argv.insert(argv.end(), options.begin(), options.end());
        for (const std::string& f : files)
            argv.push_back((folder / f).string());
        return RunProcess(argv, {"TMPDIR=" + tmp.string()});
    }
};

} // namespace

TEST(ExportCommand, CopiesIntoTheFolderRenamingOnCollisionAndSkipsSidecars)
{
    ExportRun run;
    WriteFile(run.folder / "photo.jpg", "jpeg bytes");
    WriteFile(run.folder / "photo.thm", "thumb");
    WriteFile(run.folder / "song.mp3", "mp3 bytes");
    WriteFile(run.out / "photo.jpg", "already there");

    const ProcessResult r = run.Export({"photo.jpg", "photo.thm", "song.mp3"}, {"--to", run.out.string()});

    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, (run.out / "photo (2).jpg").string() + "\n" + (run.out / "song.mp3").string() + "\n");
    EXPECT_NE(r.err.find("photo.thm: skipped"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(run.out / "photo (2).jpg"), "jpeg bytes");
    EXPECT_EQ(ReadFile(run.out / "photo.jpg"), "already there");
    EXPECT_EQ(ReadFile(run.out / "song.mp3"), "mp3 bytes");
    EXPECT_TRUE(Names(run.tmp).empty());
}

TEST(ExportCommand, FailuresSayWhyAndLeaveNothingBehind)
{
    ExportRun run;
    WriteFile(run.folder / "photo.jpg", "jpeg bytes");
    WriteFile(run.folder / "broken.mp4", "not a video");

    ProcessResult r = run.Export({"photo.jpg", "missing.avi"}, {"--to", run.out.string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("missing.avi: no such file"), std::string::npos) << r.err;

    r = run.Export({"photo.jpg"}, {"--to", (run.root / "nowhere").string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("not a folder"), std::string::npos) << r.err;

    // The job fails at the mp4 it cannot probe; the copy made before it does not reach the folder.
    r = run.Export({"photo.jpg", "broken.mp4"}, {"--to", run.out.string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("broken.mp4: not readable as media"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_TRUE(Names(run.out).empty());
    EXPECT_TRUE(Names(run.tmp).empty());
}
