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
public:
    void OnFolderChanged(const std::string& path) override
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
        const bool fail = m_throw;
        lock.unlock();
        if (m_onReport)
            m_onReport();
        lock.lock();
        ++m_returned; // the last touch of this object by the call
        m_cv.notify_all();
        if (fail)
            throw std::runtime_error("listener failure");
    }

    // Waits until n calls have left the listener, so that the recorder can be destroyed safely.
    bool WaitForReturns(int n)
    {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, kWait, [&] { return m_returned >= n; });
    }
    int Count(const fs::path& path)
    {
        std::lock_guard lock(m_mutex);
        return m_counts[path.string()];
    }
    int Total()
    {
        std::lock_guard lock(m_mutex);
        return m_total;
    }
    bool WaitForCount(const fs::path& path, int atLeast, std::chrono::milliseconds timeout = kWait)
    {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, timeout, [&] { return m_counts[path.string()] >= atLeast; });
    }
    // While closed, a report (for path, or for any folder when path is empty) blocks inside the worker.
    void CloseGate(const fs::path& path = {})
    {
        std::lock_guard lock(m_mutex);
        m_gateClosed = true;
        m_gatePath = path.string();
        m_cv.notify_all();
    }
    void OpenGate()
    {
        std::lock_guard lock(m_mutex);
        m_gateClosed = false;
        m_cv.notify_all();
    }
    // Waits until n reports in all have been held at the gate.
    bool WaitUntilHeld(int n = 1)
    {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, kWait, [&] { return m_held >= n; });
    }
    void SetThrow(bool value)
    {
        std::lock_guard lock(m_mutex);
        m_throw = value;
    }
    std::function<void()> m_onReport; // set before any report can arrive

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::map<std::string, int> m_counts;
    int m_total = 0;
    int m_returned = 0;
    bool m_gateClosed = false;
    std::string m_gatePath;
    int m_held = 0;
    bool m_throw = false;
};

// Makes a change in sentinel and waits for its report: every event queued before it has been handled then.
void Settle(Recorder& recorder, const fs::path& sentinel)
{
    static int serial = 0;
    const int before = recorder.Count(sentinel);
    WriteFile(sentinel / ("s" + std::to_string(serial++)), "");
    ASSERT_TRUE(recorder.WaitForCount(sentinel, before + 1)) << "sentinel " << sentinel << " never reported";
}

fs::path MakeDir(const fs::path& path)
{
    fs::create_directories(path);
    return path;
}

} // namespace

TEST(FileObserver2Test, AddFolderKeepsOneRecordPerPathAndRefusesNonFolders)
{
    TempDir tmp;
    const fs::path dir = MakeDir(tmp / "folder");
    WriteFile(tmp / "file.mp4", "x");
    Recorder recorder;
    CFileObserver2 observer;

    EXPECT_EQ(observer.AddFolder(WatchSet::SubFolderObservers, dir.string(), &recorder), 1);
    EXPECT_EQ(observer.AddFolder(WatchSet::SubFolderObservers, dir.string(), &recorder), 1);
    EXPECT_EQ(observer.FolderCount(WatchSet::SubFolderObservers), 1u);

    EXPECT_EQ(observer.AddFolder(WatchSet::SubFolderObservers, (tmp / "file.mp4").string(), &recorder), 0);
    EXPECT_EQ(observer.AddFolder(WatchSet::SubFolderObservers, (tmp / "missing").string(), &recorder), 0);
    EXPECT_EQ(observer.AddFolder(WatchSet::SubFolderObservers, "", &recorder), 0);
    EXPECT_EQ(observer.FolderCount(WatchSet::SubFolderObservers), 1u);
    EXPECT_EQ(observer.FolderCount(WatchSet::FolderObservers), 0u);
    EXPECT_EQ(observer.Wake(), 1);

    // Keys are exact strings: a second spelling of the same folder is a record of its own, and both hear.
    const std::string otherSpelling = dir.string() + "/";
    EXPECT_EQ(observer.AddFolder(WatchSet::SubFolderObservers, otherSpelling, &recorder), 1);
    EXPECT_EQ(observer.FolderCount(WatchSet::SubFolderObservers), 2u);
    WriteFile(dir / "new.mp4", "");
    EXPECT_TRUE(recorder.WaitForCount(dir, 1));
    EXPECT_TRUE(recorder.WaitForCount(otherSpelling, 1));
}

TEST(FileObserver2Test, ReportsEntriesCreatedDeletedAndRenamed)
{
    TempDir tmp;
    const fs::path dir = MakeDir(tmp / "101TQ9");
    const fs::path outside = MakeDir(tmp / "outside");
    Recorder recorder;
    CFileObserver2 observer;
    ASSERT_EQ(observer.AddFolder(WatchSet::SubFolderObservers, dir.string(), &recorder), 1);
    ASSERT_EQ(observer.Wake(), 1);

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

TEST(FileObserver2Test, IgnoresContentChangesAndChangesInsideSubFolders)
{
    TempDir tmp;
    const fs::path dir = MakeDir(tmp / "watched");
    const fs::path sub = MakeDir(dir / "sub");
    const fs::path sentinel = MakeDir(tmp / "sentinel");
    WriteFile(dir / "clip.mp4", "0123");
    WriteFile(sub / "inner.mp4", "");
    Recorder recorder;
    CFileObserver2 observer;
    ASSERT_EQ(observer.AddFolder(WatchSet::SubFolderObservers, dir.string(), &recorder), 1);
    ASSERT_EQ(observer.AddFolder(WatchSet::SubFolderObservers, sentinel.string(), &recorder), 1);

    std::ofstream(dir / "clip.mp4", std::ios::app) << "more bytes";
    fs::resize_file(dir / "clip.mp4", 2);
    fs::permissions(dir / "clip.mp4", fs::perms::owner_read, fs::perm_options::replace);
    fs::last_write_time(dir / "clip.mp4", fs::file_time_type::clock::now() - 1h);
    WriteFile(sub / "deeper.mp4", "");
    fs::rename(sub / "inner.mp4", sub / "renamed.mp4");
    fs::remove(sub / "renamed.mp4");
    Settle(recorder, sentinel);

    EXPECT_EQ(recorder.Count(dir), 0);
}

TEST(FileObserver2Test, WatchesFarMoreFoldersThanOneWaitCouldHold)
{
    TempDir tmp;
    Recorder recorder;
    CFileObserver2 observer;
    std::vector<fs::path> folders;
    for (int i = 0; i < 150; ++i) {
        folders.push_back(MakeDir(tmp / ("f" + std::to_string(i))));
        const WatchSet set = i % 3 == 0 ? WatchSet::FolderObservers : WatchSet::SubFolderObservers;
        ASSERT_EQ(observer.AddFolder(set, folders.back().string(), &recorder), 1) << i;
    }
    EXPECT_EQ(observer.FolderCount(WatchSet::SubFolderObservers), 100u);
    for (const fs::path& folder : folders)
        WriteFile(folder / "x.mp4", "");
    for (const fs::path& folder : folders)
        EXPECT_TRUE(recorder.WaitForCount(folder, 1)) << folder;
}

TEST(FileObserver2Test, QueueOverflowReportsEveryFolderOfTheSetThatStillExists)
{
    long limit = 0;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> limit;
    if (limit <= 0 || limit > 200000)
        GTEST_SKIP() << "inotify queue limit " << limit << " is too large to overflow quickly";

    TempDir tmp;
    const fs::path busy = MakeDir(tmp / "busy");
    const fs::path quietA = MakeDir(tmp / "quietA");
    const fs::path quietB = MakeDir(tmp / "quietB");
    const fs::path vanished = MakeDir(tmp / "vanished");
    Recorder recorder;
    CFileObserver2 observer;
    for (const fs::path& folder : {busy, quietA, quietB, vanished})
        ASSERT_EQ(observer.AddFolder(WatchSet::SubFolderObservers, folder.string(), &recorder), 1);

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
    EXPECT_FALSE(observer.IsWatched(WatchSet::SubFolderObservers, vanished.string()));
    EXPECT_EQ(recorder.Count(vanished), 0);
}

TEST(FileObserver2Test, FolderThatGoesAwayStopsBeingWatchedAndCanBeAddedAgain)
{
    TempDir tmp;
    const fs::path deleted = MakeDir(tmp / "deleted");
    const fs::path moved = MakeDir(tmp / "moved");
    const fs::path sentinel = MakeDir(tmp / "sentinel");
    Recorder recorder;
    CFileObserver2 observer;
    for (const fs::path& folder : {deleted, moved, sentinel})
        ASSERT_EQ(observer.AddFolder(WatchSet::SubFolderObservers, folder.string(), &recorder), 1);

    fs::remove(deleted);
    fs::rename(moved, tmp / "elsewhere");
    Settle(recorder, sentinel);
    EXPECT_FALSE(observer.IsWatched(WatchSet::SubFolderObservers, deleted.string()));
    EXPECT_FALSE(observer.IsWatched(WatchSet::SubFolderObservers, moved.string()));
    EXPECT_EQ(observer.FolderCount(WatchSet::SubFolderObservers), 1u);

    // A moved folder's changes are not reported under the path it no longer has.
    WriteFile(tmp / "elsewhere" / "x.mp4", "");
    Settle(recorder, sentinel);
    EXPECT_EQ(recorder.Count(moved), 0);

    fs::create_directory(deleted);
    ASSERT_EQ(observer.AddFolder(WatchSet::SubFolderObservers, deleted.string(), &recorder), 1);
    WriteFile(deleted / "x.mp4", "");
    EXPECT_TRUE(recorder.WaitForCount(deleted, 1));
}

TEST(FileObserver2Test, FoldersOfAnUnmountedCardStopBeingWatched)
{
    TempDir tmp;
    const fs::path card = MakeDir(tmp / "card");
    if (::mount("tq9card", card.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    struct Unmount { // leaves no mount behind when an assertion ends the test early
        fs::path point;
        ~Unmount() { ::umount2(point.c_str(), MNT_DETACH); }
    } unmount{card};
    const fs::path folder = MakeDir(card / "TQ-9" / "101TQ9");
    const fs::path sentinel = MakeDir(tmp / "sentinel");
    Recorder recorder;
    CFileObserver2 observer;
    for (const fs::path& path : {card, folder, sentinel})
        ASSERT_EQ(observer.AddFolder(WatchSet::SubFolderObservers, path.string(), &recorder), 1);

    ASSERT_EQ(::umount(card.c_str()), 0) << "a watch must not keep the card busy";
    Settle(recorder, sentinel);
    EXPECT_FALSE(observer.IsWatched(WatchSet::SubFolderObservers, card.string()));
    EXPECT_FALSE(observer.IsWatched(WatchSet::SubFolderObservers, folder.string()));
    EXPECT_EQ(recorder.Count(card) + recorder.Count(folder), 0);
}

TEST(FileObserver2Test, ReaddingAFolderReplacedBeforeTheWorkerNoticedKeepsItWatched)
{
    TempDir tmp;
    const fs::path dir = MakeDir(tmp / "dir");
    const fs::path sentinel = MakeDir(tmp / "sentinel");
    Recorder recorder;
    CFileObserver2 observer;
    ASSERT_EQ(observer.AddFolder(WatchSet::SubFolderObservers, dir.string(), &recorder), 1);
    ASSERT_EQ(observer.AddFolder(WatchSet::SubFolderObservers, sentinel.string(), &recorder), 1);

    recorder.CloseGate();
    WriteFile(sentinel / "hold", "");
    ASSERT_TRUE(recorder.WaitUntilHeld());
    fs::remove(dir);
    fs::create_directory(dir);
    EXPECT_EQ(observer.AddFolder(WatchSet::SubFolderObservers, dir.string(), &recorder), 1);
    recorder.OpenGate();

    Settle(recorder, sentinel); // the old folder's removal notice is handled by now
    EXPECT_TRUE(observer.IsWatched(WatchSet::SubFolderObservers, dir.string()));
    WriteFile(dir / "x.mp4", "");
    EXPECT_TRUE(recorder.WaitForCount(dir, 1));
}

TEST(FileObserver2Test, ListenerThatThrowsDoesNotStopTheWorker)
{
    TempDir tmp;
    const fs::path dir = MakeDir(tmp / "dir");
    Recorder recorder;
    recorder.SetThrow(true);
    CFileObserver2 observer;
    ASSERT_EQ(observer.AddFolder(WatchSet::SubFolderObservers, dir.string(), &recorder), 1);
    WriteFile(dir / "a", "");
    ASSERT_TRUE(recorder.WaitForCount(dir, 1));
    WriteFile(dir / "b", "");
    EXPECT_TRUE(recorder.WaitForCount(dir, 2));
}

TEST(FileObserver2Test, DestructionEndsWaitingWorkersAtOnce)
{
    TempDir tmp;
    Recorder recorder;
    auto observer = std::make_unique<CFileObserver2>();
    ASSERT_EQ(observer->AddFolder(WatchSet::SubFolderObservers, tmp.path().string(), &recorder), 1);
    ASSERT_EQ(observer->AddFolder(WatchSet::FolderObservers, tmp.path().string(), &recorder), 1);
    const auto start = std::chrono::steady_clock::now();
    observer.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

TEST(FileObserver2Test, DestructionDuringAReportGivesUpOnThatWorkerWithoutTouchingTheObserver)
{
    TempDir tmp;
    const fs::path first = MakeDir(tmp / "first");
    const fs::path second = MakeDir(tmp / "second");
    const fs::path third = MakeDir(tmp / "third");
    Recorder recorder;
    auto observer = std::make_unique<CFileObserver2>(300ms);
    for (const fs::path& folder : {first, second, third})
        ASSERT_EQ(observer->AddFolder(WatchSet::SubFolderObservers, folder.string(), &recorder), 1);

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

TEST(FileObserver2Test, ListenerMayDestroyTheObserver)
{
    TempDir tmp;
    const fs::path dir = MakeDir(tmp / "dir");
    Recorder recorder;
    auto observer = std::make_unique<CFileObserver2>();
    std::mutex mutex;
    std::condition_variable cv;
    bool destroyed = false;
    recorder.m_onReport = [&] {
        std::lock_guard lock(mutex);
        if (!observer)
            return;
        observer.reset();
        destroyed = true;
        cv.notify_all();
    };
    ASSERT_EQ(observer->AddFolder(WatchSet::SubFolderObservers, dir.string(), &recorder), 1);
    WriteFile(dir / "a", "");
    {
        std::unique_lock lock(mutex);
        EXPECT_TRUE(cv.wait_for(lock, kWait, [&] { return destroyed; }));
    }
    EXPECT_TRUE(recorder.WaitForReturns(1));
}
