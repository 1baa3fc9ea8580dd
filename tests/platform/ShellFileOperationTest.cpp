// Move, copy and delete without faults: collision names, refusals that write nothing, moves, deletion,
// clean-up of leftovers and the debug-log names.
#include <gtest/gtest.h>

#include <algorithm>

#include <chrono>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/FileOpTestSupport.h"
#include "support/TestSupport.h"
#include "platform/ShellFileOperation.h"

using namespace tq9;
using namespace tq9test;

TEST(ShellFileOperationCollision, CopyKeepsBothFilesAndRenamesSidecarsWithTheirMedia)
{
    TempDir src, dest;
    WriteFile(src / "clip.mp4", Blob(3000, 1));
    WriteFile(src / "clip.thm", Blob(700, 2));
    WriteFile(src / "clip.mrk", Blob(4, 3));
    WriteFile(dest / "clip.mp4", "older clip");
    // Only the media name is taken; the sidecars still move to "(2)" so the three keep one base name.
    ShellFileOp op = TransferOp(FO_COPY, src.Path(), dest.Path(), {"clip.mp4", "clip.thm", "clip.mrk"});

    ASSERT_EQ(CShellFileOperation::Run(op), 0);

    EXPECT_EQ(ReadFile(dest / "clip.mp4"), "older clip");
    EXPECT_EQ(ReadFile(dest / "clip (2).mp4"), Blob(3000, 1));
    EXPECT_EQ(ReadFile(dest / "clip (2).thm"), Blob(700, 2));
    EXPECT_EQ(ReadFile(dest / "clip (2).mrk"), Blob(4, 3));
    EXPECT_EQ(op.done, (std::vector<std::string> {(dest / "clip (2).mp4").string(), (dest / "clip (2).thm").string(),
                                                  (dest / "clip (2).mrk").string()}));
    EXPECT_EQ(Names(dest).size(), 4u);
    EXPECT_TRUE(fs::exists(src / "clip.mp4")); // a copy leaves its sources
}

TEST(ShellFileOperationCollision, TakesTheNextFreeNumber)
{
    TempDir src, dest;
    WriteFile(src / "a.txt", "new");
    WriteFile(src / "README", "new readme");
    WriteFile(dest / "a.txt", "1");
    WriteFile(dest / "a (2).txt", "2");
    WriteFile(dest / "README", "old readme");
    ShellFileOp op = TransferOp(FO_COPY, src.Path(), dest.Path(), {"a.txt", "README"});

    ASSERT_EQ(CShellFileOperation::Run(op), 0);

    EXPECT_EQ(ReadFile(dest / "a (3).txt"), "new");
    EXPECT_EQ(ReadFile(dest / "README (2)"), "new readme");
    EXPECT_EQ(ReadFile(dest / "a.txt"), "1");
    EXPECT_EQ(ReadFile(dest / "a (2).txt"), "2");
    EXPECT_EQ(CShellFileOperation::CollisionName("/x/.hidden", 2), "/x/.hidden (2)");
    EXPECT_EQ(CShellFileOperation::CollisionName("/x.y/z", 4), "/x.y/z (4)");
}

TEST(ShellFileOperationCollision, WithoutTheRenameFlagAnExistingFileIsNeitherReplacedNorDeleted)
{
    for (uint32_t func : {FO_COPY, FO_MOVE}) {
        TempDir src, dest;
        WriteFile(src / "a.mp4", "new");
        WriteFile(dest / "a.mp4", "old");
        ShellFileOp op = TransferOp(func, src.Path(), dest.Path(), {"a.mp4"});
        op.flags = FOF_MULTIDESTFILES;

        EXPECT_EQ(CShellFileOperation::Run(op), ErrnoCode(EEXIST));

        EXPECT_EQ(ReadFile(dest / "a.mp4"), "old");
        EXPECT_EQ(ReadFile(src / "a.mp4"), "new");
        EXPECT_EQ(Names(dest).size(), 1u);
    }
}

TEST(ShellFileOperationRefusals, BadRequestsWriteNothing)
{
    TempDir src, dest;
    WriteFile(src / "a.mp4", "a");
    WriteFile(src / "b.mp4", "b");

    // A missing source fails its own item and no other.
    ShellFileOp missing = TransferOp(FO_COPY, src.Path(), dest.Path(), {"gone.mp4", "a.mp4"});
    EXPECT_EQ(CShellFileOperation::Run(missing), DE_INVALIDFILES);
    EXPECT_EQ(missing.results, (std::vector<int> {DE_INVALIDFILES, 0}));
    EXPECT_EQ(Names(dest), std::vector<std::string> {"a.mp4"});
    fs::remove(dest / "a.mp4");

    ShellFileOp mismatched = TransferOp(FO_COPY, src.Path(), dest.Path(), {"a.mp4", "b.mp4"});
    mismatched.to.pop_back();
    EXPECT_EQ(CShellFileOperation::Run(mismatched), DE_MANYSRC1DEST);

    ShellFileOp noFolder = TransferOp(FO_MOVE, src.Path(), dest.Path(), {"a.mp4"});
    noFolder.to = {(dest / "no-such-folder" / "a.mp4").string()};
    EXPECT_EQ(CShellFileOperation::Run(noFolder), DE_INVALIDFILES);

    ShellFileOp onto = TransferOp(FO_MOVE, src.Path(), src.Path(), {"a.mp4"});
    EXPECT_EQ(CShellFileOperation::Run(onto), DE_SAMEFILE);

    EXPECT_TRUE(Names(dest).empty());
    EXPECT_EQ(Names(src), (std::vector<std::string> {"a.mp4", "b.mp4"}));
}

TEST(ShellFileOperationMove, WithinOneFileSystemIsARename)
{
    TempDir src, dest;
    WriteFile(src / "a.mp4", Blob(5000, 7));
    struct stat before {};
    ASSERT_EQ(::stat((src / "a.mp4").c_str(), &before), 0);
    ShellFileOp op = TransferOp(FO_MOVE, src.Path(), dest.Path(), {"a.mp4"});

    ASSERT_EQ(CShellFileOperation::Run(op), 0);

    struct stat after {};
    ASSERT_EQ(::stat((dest / "a.mp4").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_FALSE(fs::exists(src / "a.mp4"));
}

TEST(ShellFileOperationDelete, DeletesEveryFileOrNothingWhenOneIsMissing)
{
    TempDir dir;
    WriteFile(dir / "a.mp4", "a");
    WriteFile(dir / "a.thm", "t");
    fs::create_directory(dir / "sub");

    ShellFileOp missing;
    missing.func = FO_DELETE;
    missing.from = {(dir / "a.mp4").string(), (dir / "gone.mrk").string()};
    EXPECT_EQ(CShellFileOperation::Run(missing), DE_INVALIDFILES);
    ShellFileOp folder;
    folder.func = FO_DELETE;
    folder.from = {(dir / "a.mp4").string(), (dir / "sub").string()};
    EXPECT_EQ(CShellFileOperation::Run(folder), ErrnoCode(EISDIR));
    EXPECT_TRUE(fs::exists(dir / "a.mp4"));

    ShellFileOp op;
    op.func = FO_DELETE;
    op.flags = FOF_NOCONFIRMATION;
    op.from = {(dir / "a.mp4").string(), (dir / "a.thm").string()};
    EXPECT_EQ(CShellFileOperation::Run(op), 0);
    EXPECT_EQ(Names(dir), std::vector<std::string> {"sub"});
}

TEST(ShellFileOperationCancel, ARaisedCancelFlagStopsBeforeWriting)
{
    TempDir src, dest;
    WriteFile(src / "a.mp4", Blob(4000, 1));
    std::atomic<bool> cancel {true};
    for (uint32_t func : {FO_COPY, FO_MOVE, FO_DELETE}) {
        ShellFileOp op = TransferOp(func, src.Path(), dest.Path(), {"a.mp4"});
        if (func == FO_DELETE)
            op.to.clear();
        op.cancel = &cancel;
        EXPECT_EQ(CShellFileOperation::Run(op), DE_OPCANCELLED);
        EXPECT_TRUE(op.anyOperationsAborted);
    }
    EXPECT_TRUE(Names(dest).empty());
    EXPECT_TRUE(fs::exists(src / "a.mp4"));
}

TEST(ShellFileOperationLeftovers, TemporaryNamesOfDeadRunsAreRemovedOthersKept)
{
    TempDir src, dest;
    WriteFile(src / "a.mp4", "a");
    // A pid that surely is gone: a child that has exited and been reaped.
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);
    const std::string dead = std::string(CShellFileOperation::kTempPrefix) + std::to_string(child) + "-1";
    const std::string ownStale = std::string(CShellFileOperation::kTempPrefix) + std::to_string(::getpid()) + "-0";
    const std::string live = std::string(CShellFileOperation::kTempPrefix) + "1-5"; // init never dies
    const std::string foreign = ".tq9-partial-notes";
    // A live pid on a name untouched for two days: left by another machine whose pid means nothing here.
    const std::string old = std::string(CShellFileOperation::kTempPrefix) + "1-6";
    for (const std::string& name : {dead, ownStale, live, foreign, old})
        WriteFile(dest / name, "x");
    fs::last_write_time(dest / old, fs::file_time_type::clock::now() - std::chrono::hours(48));
    // Into a PC folder nothing is cleared: a name that looks like ours is still the user's.
    ShellFileOp pc = TransferOp(FO_COPY, src.Path(), dest.Path(), {"a.mp4"});
    ASSERT_EQ(CShellFileOperation::Run(pc), 0);
    std::vector<std::string> all {old, live, ownStale, dead, foreign, "a.mp4"};
    std::sort(all.begin(), all.end());
    EXPECT_EQ(Names(dest), all);
    fs::remove(dest / "a.mp4");

    ShellFileOp op = TransferOp(FO_COPY, src.Path(), dest.Path(), {"a.mp4"});
    op.clearLeftovers = true;
    ASSERT_EQ(CShellFileOperation::Run(op), 0);

    EXPECT_EQ(Names(dest), (std::vector<std::string> {live, foreign, "a.mp4"}));
}

TEST(ShellFileOperationNames, DebugLogNames)
{
    EXPECT_EQ(CShellFileOperation::ErrorName(0x7C), "DE_INVALIDFILES");
    EXPECT_EQ(CShellFileOperation::ErrorName(0x85), "DE_FILE_TOO_LARGE");
    EXPECT_EQ(CShellFileOperation::ErrorName(ErrnoCode(ENOSPC)), "ENOSPC");
    for (int unnamed : {0, 0x74, 0x77, 0x7B, 0x7F, 0x89, 0x10000})
        EXPECT_EQ(CShellFileOperation::ErrorName(unnamed), "") << std::hex << unnamed;
}
