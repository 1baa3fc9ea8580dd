// The folder observer against real inotify on the temporary folder. Waits end as soon as the awaited report
// arrives. "Nothing reported" is checked with a sentinel folder of the same set: its report comes after every
// event queued before it on the set's one inotify descriptor, so once it arrives any earlier report has too.
#include "observe/FileObserver2.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>

#include <sys/mount.h>

using namespace std::chrono_literals;
using tq9::CFileObserver2;
using tq9test::TempDir;
using tq9test::WriteFile;
using WatchSet = CFileObserver2::WatchSet;
namespace fs = std::filesystem;

namespace {

constexpr auto kWait = 10s; // only reached when a report never comes

class Recorder : public tq9::IFolderChangeListener {
    // Helpers first: their deduced return types must be known where the public members use them.
    template <class F> auto Locked(F f)
    {
        std::lock_guard lock(m_mutex);
        m_cv.notify_all();
        return f();
    }
    template <class F> bool WaitUntil(F done, std::chrono::milliseconds timeout = kWait)
    {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, timeout, done);
    }

public:
    void OnFolderChanged(const std::string& path) override
    {
        std::function<void()> then;
        {
            std::unique_lock lock(m_mutex);
            ++m_counts[path];
            ++m_total;
            m_cv.notify_all();
            auto held = [&] { return m_gateClosed && (m_gatePath.empty() || m_gatePath == path); };
            if (held()) {
                ++m_held;
                m_cv.notify_all();
                m_cv.wait(lock, [&] { return !held(); });
            }
            then = m_then; // the test may destroy this recorder once m_returned has grown
            ++m_returned;
            m_cv.notify_all();
        }
        if (then)
            then();
    }

    // Reported apart from changes, so that tests can tell "changed" from "no longer watched".
    void OnFolderWatchEnded(const std::string& path) override
    {
        Locked([&] { ++m_ended[path]; });
    }

    int Count(const fs::path& path) { return Locked([&] { return m_counts[path.string()]; }); }
    int Ended(const fs::path& path) { return Locked([&] { return m_ended[path.string()]; }); }
    int Total() { return Locked([&] { return m_total; }); }
    bool WaitForCount(const fs::path& path, int atLeast, std::chrono::milliseconds timeout = kWait)
    {
        return WaitUntil([&] { return m_counts[path.string()] >= atLeast; }, timeout);
    }
    // While closed, a report (for path, or for any folder when path is empty) blocks inside the worker.
    void CloseGate(const fs::path& path = {})
    {
        Locked([&] {
            m_gateClosed = true;
            m_gatePath = path.string();
        });
    }
    void OpenGate() { Locked([&] { m_gateClosed = false; }); }
    bool WaitUntilHeld(int n = 1) { return WaitUntil([&] { return m_held >= n; }); }
    // Waits until n calls have got past the gate.
    bool WaitForReturns(int n) { return WaitUntil([&] { return m_returned >= n; }); }

    std::function<void()> m_then; // runs at the end of every report; set before any can arrive

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::map<std::string, int> m_counts;
    std::map<std::string, int> m_ended;
    int m_total = 0;
    int m_held = 0;
    int m_returned = 0;
    bool m_gateClosed = false;
    std::string m_gatePath;
};

fs::path MakeDir(const fs::path& path)
{
    fs::create_directories(path);
    return path;
}

} // namespace

class FileObserver2Test : public ::testing::Test {
protected:
    // Makes the folder tmp/name and watches it in set.
    fs::path Watch(const std::string& name, WatchSet set = WatchSet::SubFolderObservers)
    {
        const fs::path folder = MakeDir(tmp / name);
        EXPECT_EQ(observer->AddFolder(set, folder.string(), &recorder), 1) << folder;
        return folder;
    }

    // Makes a change in sentinel (a watched folder of the set under test) and waits for its report: every
    // event queued before it has been handled by then.
    void Settle(const fs::path& sentinel)
    {
        const int before = recorder.Count(sentinel);
        WriteFile(sentinel / ("s" + std::to_string(before)), "");
        ASSERT_TRUE(recorder.WaitForCount(sentinel, before + 1)) << "sentinel never reported: " << sentinel;
    }

    // Declared in this order so that the observer goes first, then its listener, then the folders.
    TempDir tmp;
    Recorder recorder;
    std::unique_ptr<CFileObserver2> observer = std::make_unique<CFileObserver2>();
};

TEST_F(FileObserver2Test, AddFolderKeepsOneRecordPerPathAndRefusesNonFolders)
{
    const fs::path dir = Watch("folder");
    EXPECT_EQ(observer->AddFolder(WatchSet::SubFolderObservers, dir.string(), &recorder), 1);
    EXPECT_EQ(observer->FolderCount(WatchSet::SubFolderObservers), 1u);

    WriteFile(tmp / "file.mp4", "x");
    EXPECT_EQ(observer->AddFolder(WatchSet::SubFolderObservers, (tmp / "file.mp4").string(), &recorder), 0);
    EXPECT_EQ(observer->AddFolder(WatchSet::SubFolderObservers, (tmp / "missing").string(), &recorder), 0);
    EXPECT_EQ(observer->AddFolder(WatchSet::SubFolderObservers, "", &recorder), 0);
    EXPECT_EQ(observer->FolderCount(WatchSet::SubFolderObservers), 1u);
    EXPECT_EQ(observer->FolderCount(WatchSet::FolderObservers), 0u);
    EXPECT_EQ(observer->Wake(), 1);

    // Keys are exact strings: a second spelling of the same folder is a record of its own, and both hear.
    const std::string otherSpelling = dir.string() + "/";
    EXPECT_EQ(observer->AddFolder(WatchSet::SubFolderObservers, otherSpelling, &recorder), 1);
    EXPECT_EQ(observer->FolderCount(WatchSet::SubFolderObservers), 2u);
    WriteFile(dir / "new.mp4", "");
    EXPECT_TRUE(recorder.WaitForCount(dir, 1));
    EXPECT_TRUE(recorder.WaitForCount(otherSpelling, 1));
}

TEST_F(FileObserver2Test, ReportsEntriesCreatedDeletedAndRenamed)
{
    const fs::path dir = Watch("101TQ9");
    const fs::path outside = MakeDir(tmp / "outside");
    ASSERT_EQ(observer->Wake(), 1);

    const std::vector<std::pair<const char*, std::function<void()>>> steps = {
        {"create file", [&] { WriteFile(dir / "a.mp4", "data"); }},
        {"rename file", [&] { fs::rename(dir / "a.mp4", dir / "b.mp4"); }},
        {"move file out", [&] { fs::rename(dir / "b.mp4", outside / "b.mp4"); }},
        {"move file in", [&] { fs::rename(outside / "b.mp4", dir / "c.mp4"); }},
        {"delete file", [&] { fs::remove(dir / "c.mp4"); }},
        {"create folder", [&] { fs::create_directory(dir / "sub"); }},
        {"rename folder", [&] { fs::rename(dir / "sub", dir / "sub2"); }},
        {"delete folder", [&] { fs::remove(dir / "sub2"); }},
    };
    for (const auto& [name, step] : steps) {
        const int before = recorder.Count(dir);
        step();
        EXPECT_TRUE(recorder.WaitForCount(dir, before + 1)) << name << " was not reported";
    }
    EXPECT_EQ(recorder.Total(), recorder.Count(dir)); // reports name the watched folder only
}

TEST_F(FileObserver2Test, IgnoresContentChangesAndChangesInsideSubFolders)
{
    const fs::path dir = Watch("watched");
    const fs::path sentinel = Watch("sentinel");
    const fs::path sub = MakeDir(dir / "sub");
    WriteFile(dir / "clip.mp4", "0123");
    WriteFile(sub / "inner.mp4", "");
    Settle(sentinel);
    const int before = recorder.Count(dir);

    std::ofstream(dir / "clip.mp4", std::ios::app) << "more bytes";
    fs::resize_file(dir / "clip.mp4", 2);
    fs::permissions(dir / "clip.mp4", fs::perms::owner_read, fs::perm_options::replace);
    fs::last_write_time(dir / "clip.mp4", fs::file_time_type::clock::now() - 1h);
    WriteFile(sub / "deeper.mp4", "");
    fs::rename(sub / "inner.mp4", sub / "renamed.mp4");
    fs::remove(sub / "renamed.mp4");
    Settle(sentinel);

    EXPECT_EQ(recorder.Count(dir), before);
}

TEST_F(FileObserver2Test, WatchesFarMoreFoldersThanOneWaitCouldHold)
{
    std::vector<fs::path> folders;
    for (int i = 0; i < 150; ++i) {
        const WatchSet set = i % 3 == 0 ? WatchSet::FolderObservers : WatchSet::SubFolderObservers;
        folders.push_back(Watch("f" + std::to_string(i), set));
    }
    EXPECT_EQ(observer->FolderCount(WatchSet::SubFolderObservers), 100u);
    for (const fs::path& folder : folders)
        WriteFile(folder / "x.mp4", "");
    for (const fs::path& folder : folders)
        EXPECT_TRUE(recorder.WaitForCount(folder, 1)) << folder;
}

TEST_F(FileObserver2Test, QueueOverflowReportsEveryFolderOfTheSetThatStillExists)
{
    long limit = 0;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> limit;
    if (limit <= 0 || limit > 200000)
        GTEST_SKIP() << "inotify queue limit " << limit << " is too large to overflow quickly";
    const fs::path busy = Watch("busy");
    const fs::path quietA = Watch("quietA");
    const fs::path quietB = Watch("quietB");
    const fs::path vanished = Watch("vanished");

    // Hold the worker in a report so that the kernel queue fills behind it.
    recorder.CloseGate();
    WriteFile(busy / "a", "");
    ASSERT_TRUE(recorder.WaitUntilHeld());
    for (long i = 0; i < limit / 2 + 8; ++i) // every rename queues two events
        fs::rename(busy / (i % 2 ? "b" : "a"), busy / (i % 2 ? "a" : "b"));
    fs::remove(vanished); // its removal notice is lost in the full queue
    recorder.OpenGate();

    EXPECT_TRUE(recorder.WaitForCount(quietA, 1));
    EXPECT_TRUE(recorder.WaitForCount(quietB, 1));
    EXPECT_TRUE(recorder.WaitForCount(busy, 2));
    EXPECT_FALSE(observer->IsWatched(WatchSet::SubFolderObservers, vanished.string()));
    EXPECT_EQ(recorder.Count(vanished), 0);
    EXPECT_EQ(recorder.Ended(vanished), 1);
}

TEST_F(FileObserver2Test, FolderThatGoesAwayStopsBeingWatchedAndCanBeAddedAgain)
{
    const fs::path deleted = Watch("deleted");
    const fs::path moved = Watch("moved");
    const fs::path sentinel = Watch("sentinel");

    fs::remove(deleted);
    fs::rename(moved, tmp / "elsewhere");
    Settle(sentinel);
    EXPECT_FALSE(observer->IsWatched(WatchSet::SubFolderObservers, deleted.string()));
    EXPECT_FALSE(observer->IsWatched(WatchSet::SubFolderObservers, moved.string()));
    EXPECT_EQ(observer->FolderCount(WatchSet::SubFolderObservers), 1u);
    // Their listener hears that each watch ended, once, so that it does not go on showing them.
    EXPECT_EQ(recorder.Ended(deleted), 1);
    EXPECT_EQ(recorder.Ended(moved), 1);
    EXPECT_EQ(recorder.Ended(sentinel), 0);

    // A moved folder's changes are not reported under the path it no longer has.
    WriteFile(tmp / "elsewhere" / "x.mp4", "");
    Settle(sentinel);
    EXPECT_EQ(recorder.Count(moved), 0);

    fs::create_directory(deleted);
    ASSERT_EQ(observer->AddFolder(WatchSet::SubFolderObservers, deleted.string(), &recorder), 1);
    WriteFile(deleted / "x.mp4", "");
    EXPECT_TRUE(recorder.WaitForCount(deleted, 1));
}

TEST_F(FileObserver2Test, FoldersOfAnUnmountedCardStopBeingWatched)
{
    const fs::path card = MakeDir(tmp / "card");
    if (::mount("tq9card", card.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    struct Unmount { // leaves no mount behind when an assertion ends the test early
        fs::path point;
        ~Unmount() { ::umount2(point.c_str(), MNT_DETACH); }
    } unmount{card};
    const fs::path folder = Watch("card/media/folder");
    ASSERT_EQ(observer->AddFolder(WatchSet::SubFolderObservers, card.string(), &recorder), 1);
    const fs::path sentinel = Watch("sentinel");

    ASSERT_EQ(::umount(card.c_str()), 0) << "a watch must not keep the card busy";
    Settle(sentinel);
    EXPECT_FALSE(observer->IsWatched(WatchSet::SubFolderObservers, card.string()));
    EXPECT_FALSE(observer->IsWatched(WatchSet::SubFolderObservers, folder.string()));
    EXPECT_EQ(recorder.Count(card) + recorder.Count(folder), 0);
    EXPECT_EQ(recorder.Ended(card), 1);
    EXPECT_EQ(recorder.Ended(folder), 1);

    // Mounted again at the same place, the folders can be watched again.
    ASSERT_EQ(::mount("tq9card", card.c_str(), "tmpfs", 0, "size=1m"), 0);
    fs::create_directories(folder);
    ASSERT_EQ(observer->AddFolder(WatchSet::SubFolderObservers, folder.string(), &recorder), 1);
    WriteFile(folder / "x.mp4", "");
    EXPECT_TRUE(recorder.WaitForCount(folder, 1));
}

TEST_F(FileObserver2Test, ReaddingAFolderReplacedBeforeTheWorkerNoticedKeepsItWatched)
{
    const fs::path dir = Watch("dir");
    const fs::path sentinel = Watch("sentinel");

    recorder.CloseGate();
    WriteFile(sentinel / "hold", "");
    ASSERT_TRUE(recorder.WaitUntilHeld());
    fs::remove(dir);
    fs::create_directory(dir);
    EXPECT_EQ(observer->AddFolder(WatchSet::SubFolderObservers, dir.string(), &recorder), 1);
    recorder.OpenGate();

    Settle(sentinel); // the old folder's removal notice is handled by now
    EXPECT_TRUE(observer->IsWatched(WatchSet::SubFolderObservers, dir.string()));
    WriteFile(dir / "x.mp4", "");
    EXPECT_TRUE(recorder.WaitForCount(dir, 1));
}

TEST_F(FileObserver2Test, ListenerThatThrowsDoesNotStopTheWorker)
{
    recorder.m_then = [] { throw std::runtime_error("listener failure"); };
    const fs::path dir = Watch("dir");
    WriteFile(dir / "a", "");
    ASSERT_TRUE(recorder.WaitForCount(dir, 1));
    WriteFile(dir / "b", "");
    EXPECT_TRUE(recorder.WaitForCount(dir, 2));
}

TEST_F(FileObserver2Test, DestructionEndsWaitingWorkersAtOnce)
{
    Watch("first", WatchSet::FolderObservers);
    Watch("second");
    const auto start = std::chrono::steady_clock::now();
    observer.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

TEST_F(FileObserver2Test, DestructionDuringAReportGivesUpOnThatWorkerWithoutTouchingTheObserver)
{
    observer = std::make_unique<CFileObserver2>(300ms);
    const fs::path first = Watch("first");
    const fs::path second = Watch("second");
    const fs::path third = Watch("third");

    // Queue changes of two folders behind a held report so that the worker reads them as one batch, then
    // hold the batch's first report, as the file list's would wait for a busy UI thread.
    recorder.CloseGate(first);
    WriteFile(first / "a", "");
    ASSERT_TRUE(recorder.WaitUntilHeld(1));
    WriteFile(second / "a", "");
    WriteFile(third / "a", "");
    recorder.CloseGate(second); // releases first; the batch reports second before third, in event order
    ASSERT_TRUE(recorder.WaitUntilHeld(2));

    const auto start = std::chrono::steady_clock::now();
    observer.reset();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 3s);

    // Released after the observer is gone, the worker must end quietly: the rest of its batch is not
    // reported, and (under the sanitizers) it never reaches into the freed observer.
    recorder.OpenGate();
    ASSERT_TRUE(recorder.WaitForReturns(2));
    EXPECT_FALSE(recorder.WaitForCount(third, 1, 200ms));
}

TEST_F(FileObserver2Test, ListenerMayDestroyTheObserver)
{
    std::mutex mutex;
    std::condition_variable cv;
    bool destroyed = false;
    recorder.m_then = [&] {
        std::lock_guard lock(mutex);
        if (!observer)
            return;
        observer.reset();
        destroyed = true;
        cv.notify_all();
    };
    const fs::path dir = Watch("dir");
    WriteFile(dir / "a", "");
    {
        std::unique_lock lock(mutex);
        EXPECT_TRUE(cv.wait_for(lock, kWait, [&] { return destroyed; }));
    }
    EXPECT_TRUE(recorder.WaitForReturns(1));
}
