// tq9 export end to end: what lands in the folder, what is skipped, and that the temporary folder is left
// empty whatever the outcome.
#include <gtest/gtest.h>

#include <chrono>

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

TEST(ExportCommand, ExportsWhatItCanAndNamesEachFailureWithADistinctExitCode)
{
    ExportRun run;
    WriteFile(run.folder / "photo.jpg", "jpeg bytes");
    WriteFile(run.folder / "broken.mp4", "not a video");

    // Some files failed: the others arrive, each failure is named, exit 4.
    ProcessResult r = run.Export({"photo.jpg", "missing.avi", "broken.mp4"}, {"--to", run.out.string()});
    EXPECT_EQ(r.exitCode, 4) << r.err;
    EXPECT_NE(r.err.find("missing.avi: no such file"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("broken.mp4: The file cannot be read as media."), std::string::npos) << r.err;
    EXPECT_EQ(r.out, (run.out / "photo.jpg").string() + "\n");
    EXPECT_EQ(ReadFile(run.out / "photo.jpg"), "jpeg bytes");
    EXPECT_TRUE(Names(run.tmp).empty());

    // Nothing exported: exit 3.
    r = run.Export({"broken.mp4"}, {"--to", run.out.string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(r.out.empty());
    r = run.Export({"photo.jpg"}, {"--to", (run.root / "nowhere").string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("not a folder"), std::string::npos) << r.err;
    EXPECT_EQ(Names(run.out), std::vector<std::string>{"photo.jpg"});
    EXPECT_TRUE(Names(run.tmp).empty());
}

TEST(ExportCommand, ExportsIntoTheTemporaryFolderItselfAndNamesAtTheLimitKeepingTheDate)
{
    ExportRun run;
    // A card name at the file system's limit, and a leftover of a killed run in the temporary folder
    // under the name a working file of the card name would take.
    const std::string longName = std::string(251, 'n') + ".avi";
    WriteFile(run.folder / longName, "avi bytes");
    WriteFile(run.folder / "photo.jpg", "jpeg bytes");
    WriteFile(run.tmp / longName, "left by another program");
    const auto cardDate = fs::file_time_type::clock::now() - std::chrono::hours(24 * 100);
    fs::last_write_time(run.folder / longName, cardDate);
    fs::last_write_time(run.folder / "photo.jpg", cardDate);

    ProcessResult r = run.Export({longName}, {"--to", run.out.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, (run.out / longName).string() + "\n");
    EXPECT_EQ(ReadFile(run.out / longName), "avi bytes");
    EXPECT_EQ(fs::last_write_time(run.out / longName), cardDate);
    EXPECT_EQ(ReadFile(run.tmp / longName), "left by another program");

    // Into the temporary folder itself (run from it, as "cd $TMPDIR && tq9 export FILE" does).
    r = run.Export({"photo.jpg"}, {"--to", run.tmp.string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(run.tmp / "photo.jpg"), "jpeg bytes");
    EXPECT_EQ(fs::last_write_time(run.tmp / "photo.jpg"), cardDate);
    EXPECT_EQ(Names(run.tmp), (std::vector<std::string>{longName, "photo.jpg"}));

    // A collision at the limit leaves no room for " (2)": the file is named with the cause.
    r = run.Export({longName}, {"--to", run.tmp.string()});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find(longName + ": The file name is too long."), std::string::npos) << r.err;
    EXPECT_EQ(Names(run.tmp), (std::vector<std::string>{longName, "photo.jpg"}));
}
