// The private working folder of an import run: made private, removed with its run, and found abandoned
// on the next start when its run was killed, without ever following a planted link.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

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
        EXPECT_EQ(CWorkFolder::RemoveAbandoned(), 0);
        EXPECT_TRUE(fs::exists(path / "clip.mp4"));
    }
    EXPECT_FALSE(fs::exists(path));
}

TEST(WorkFolder, TheNextStartRemovesFoldersOfKilledRunsAndFollowsNoLink)
{
    TempDir tmp, victim;
    TmpDirGuard guard(tmp.Path());
    WriteFile(victim / "precious", "keep");
    fs::create_directory_symlink(victim.Path(), tmp / "tq9-work-planted");
    fs::create_directory(tmp / "unrelated");

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto work = CWorkFolder::Create();
        WriteFile(fs::path(work->Path()) / "clip.passlog", "stats");
        ::raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    auto live = CWorkFolder::Create();
    ASSERT_TRUE(live);
    ASSERT_EQ(Names(tmp).size(), 4u); // the killed run's, ours, the link and the unrelated folder

    EXPECT_EQ(CWorkFolder::RemoveAbandoned(), 1);

    // Names() sorts; our folder's random suffix may sort either side of "planted".
    std::vector<std::string> expected{fs::path(live->Path()).filename().string(), "tq9-work-planted", "unrelated"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(tmp), expected);
    EXPECT_EQ(ReadFile(victim / "precious"), "keep");
}
