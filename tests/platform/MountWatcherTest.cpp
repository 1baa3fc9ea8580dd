// The mount-table watch against real mounts (root only: a tmpfs is mounted and unmounted).
#include "platform/MountWatcher.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include <sched.h>
#include <sys/mount.h>

using namespace std::chrono_literals;
using tq9::CMountWatcher;
using tq9test::TempDir;
namespace fs = std::filesystem;

namespace {
struct Counter {
    std::mutex m;
    std::condition_variable cv;
    int count = 0;
    void Bump()
    {
        std::lock_guard lock(m);
        ++count;
        cv.notify_all();
    }
    bool WaitFor(int atLeast)
    {
        std::unique_lock lock(m);
        return cv.wait_for(lock, 10s, [&] { return count >= atLeast; });
    }
    int Get()
    {
        std::lock_guard lock(m);
        return count;
    }
};
// Detaches, in this mount namespace only, the mounts of the tests' scratch folders (/tmp/tq9mnt-*).
void DetachScratchMounts()
{
    std::ifstream table("/proc/self/mounts");
    std::string device, point, rest;
    std::vector<std::string> points;
    while (table >> device >> point && std::getline(table, rest)) {
        if (point.rfind("/tmp/tq9mnt-", 0) == 0)
            points.push_back(point);
    }
    for (auto it = points.rbegin(); it != points.rend(); ++it)
        ::umount2(it->c_str(), MNT_DETACH);
}
} // namespace

TEST(MountWatcherTest, ReportsAMountAndAnUnmountButNotTheTableAsItWas)
{
    // A mount namespace of its own keeps the mounts of tests running beside this one out of its table.
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        GTEST_SKIP() << "cannot take a mount namespace of its own here (needs root)";
    // The copies of other tests' scratch mounts go too: when such a test removes its mount folder, the
    // kernel detaches the copy here, which would count as a change.
    DetachScratchMounts();
    TempDir tmp;
    const fs::path point = tmp / "card";
    fs::create_directories(point);
    Counter changes;
    CMountWatcher watcher([&changes] { changes.Bump(); });
    ASSERT_TRUE(watcher.IsWatching());
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(changes.Get(), 0) << "nothing changed since the watch began";

    if (::mount("tq9card", point.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    struct Unmount {
        fs::path p;
        bool done = false;
        ~Unmount()
        {
            if (!done)
                ::umount2(p.c_str(), MNT_DETACH);
        }
    } unmount{point};
    EXPECT_TRUE(changes.WaitFor(1));
    const int afterMount = changes.Get();
    ASSERT_EQ(::umount(point.c_str()), 0);
    unmount.done = true;
    EXPECT_TRUE(changes.WaitFor(afterMount + 1));
}

TEST(MountWatcherTest, AFileWithoutChangeNoticesLeavesItIdleAndDestructionIsPrompt)
{
    {
        CMountWatcher missing([] {}, "/nonexistent/mounts");
        EXPECT_FALSE(missing.IsWatching());
    }
    const auto start = std::chrono::steady_clock::now();
    {
        CMountWatcher watcher([] {});
        EXPECT_TRUE(watcher.IsWatching());
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << "the destructor must not wait for a change";
}

TEST(MountWatcherTest, TicksWhileTheTableStaysAsItIsAndStopsPromptly)
{
    Counter changes, ticks;
    const auto start = std::chrono::steady_clock::now();
    {
        // A table that never changes (mounts of tests running beside this one would be changes).
        CMountWatcher watcher([&changes] { changes.Bump(); }, 30ms, [&ticks] { ticks.Bump(); }, "/dev/null");
        EXPECT_TRUE(ticks.WaitFor(3));
    }
    EXPECT_EQ(changes.Get(), 0) << "a tick is not a change";
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << "the destructor does not wait for a tick";
    const int after = ticks.Get();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(ticks.Get(), after) << "no tick after the destructor returned";
}
