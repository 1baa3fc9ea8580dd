// The private working folder of an import run: made private, removed with its run, and found abandoned
// on the next start when its run was killed, without ever following a planted link or taking a folder
// that only looks like one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

#include "card/TQ9SystemFile.h"
#include "platform/WorkFolder.h"
#include "support/FileOpTestSupport.h"
#include "support/TestSupport.h"

using namespace tq9;
using namespace tq9test;

namespace {

struct TmpDirGuard {
    explicit TmpDirGuard(const fs::path& dir) { ::setenv("TMPDIR", dir.c_str(), 1); }
    ~TmpDirGuard() { ::unsetenv("TMPDIR"); }
};

// A pid that ran and is gone.
pid_t deadPid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

} // namespace

TEST(WorkFolder, IsPrivateAndGoesWithItsRun)
{
    TempDir tmp;
    TmpDirGuard guard(tmp.Path());
    fs::path path;
    {
        auto work = CWorkFolder::Create();
        ASSERT_TRUE(work);
        path = work->Path();
        EXPECT_EQ(path.parent_path(), fs::canonical(tmp.Path()));
        EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_all);
        WriteFile(path / "clip.mp4", "x");
        // A live run's folder is never taken for abandoned.
        EXPECT_EQ(CWorkFolder::RemoveAbandoned(IsWorkingFileName), 0);
        EXPECT_TRUE(fs::exists(path / "clip.mp4"));
    }
    EXPECT_FALSE(fs::exists(path));
}

TEST(WorkFolder, TheNextStartRemovesOnlyWhatKilledRunsLeft)
{
    TempDir tmp, victim;
    TmpDirGuard guard(tmp.Path());
    WriteFile(victim / "precious", "keep");
    const std::string dead = std::to_string(deadPid());
    fs::create_directory_symlink(victim.Path(), tmp / ("tq9-work-" + dead + "-linked"));
    // Folders a run would not have made, or would not have filled so: each survives whole.
    const std::vector<std::pair<std::string, std::string>> users = {
        {"tq9-work-notes", "thesis.txt"},         // the prefix alone
        {"tq9-work-Ab3dE9", "clip.mp4"},          // the form of older versions, without a pid
        {"tq9-work-" + dead + "-abc", "clip.mp4"}, // not mkdtemp's six characters
        {"tq9-work-" + dead + "-thesis", "thesis.txt"}, // the form, but a file no run writes
        {"tq9-work-" + std::to_string(::getppid()) + "-Ab3dE9", "clip.mp4"}, // its process still runs
        {"tq9-work-" + dead + "-sub123", "clip.mp4"}, // beside a folder, which no run makes
    };
    for (const auto& [folder, file] : users) {
        fs::create_directory(tmp / folder);
        WriteFile(tmp / folder / file, "mine");
    }
    fs::create_directory(tmp / users.back().first / "drafts");

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto work = CWorkFolder::Create();
        WriteFile(fs::path(work->Path()) / "clip.passlog", "stats");
        WriteFile(fs::path(work->Path()) / "clip.mp4", "video");
        WriteFile(fs::path(work->Path()) / "3.wmv", "export");
        ::raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    auto live = CWorkFolder::Create();
    ASSERT_TRUE(live);
    const size_t before = Names(tmp).size();

    // Any number of starts take the killed run's folder and nothing else.
    for (int start = 0; start < 3; ++start)
        EXPECT_EQ(CWorkFolder::RemoveAbandoned(IsWorkingFileName), start == 0 ? 1 : 0);
    EXPECT_EQ(Names(tmp).size(), before - 1);
    EXPECT_TRUE(fs::exists(live->Path()));
    for (const auto& [folder, file] : users)
        EXPECT_EQ(ReadFile(tmp / folder / file), "mine") << folder;
    EXPECT_EQ(ReadFile(victim / "precious"), "keep");
}
