// Folder observer: watches folders (on the PC and on cards) for entries being created, deleted or renamed,
// and tells a listener which watched folder changed, never what changed.
//
// Threads: the UI thread constructs the observer, calls AddFolder and Wake, and destroys it. Two workers of
// the observer's own, one per watch set, wait on that set's inotify descriptor and controller eventfd with
// poll() and call the listeners. Listeners run on a worker thread with no observer lock held, so a listener
// may wait for the UI thread even while the UI thread is inside AddFolder or Wake.
//
// Ownership: everything the workers touch (lock, sets, descriptors, flags) lives in a Shared block that the
// observer and each worker hold by shared_ptr. A worker still inside a listener when the destructor gives up
// on it therefore never touches freed memory; it finds its stop flag set and ends on its own.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/UniqueFd.h"

namespace tq9 {

// Receives the observer's change reports. Implemented by the file list view.
class IFolderChangeListener {
public:
    // Called on an observer worker thread, with the watched folder's path exactly as it was added. No
    // observer lock is held. Exceptions are swallowed. After the observer's destructor has returned no
    // further call starts (one that began before may still be finishing if it overran the stop timeout).
    virtual void OnFolderChanged(const std::string& path) = 0;
    // Called on an observer worker, like OnFolderChanged, when the folder's watch has ended: the folder was
    // deleted or moved away, or its file system was unmounted. The folder has already left its watch set,
    // so AddFolder from here (or later) watches whatever is at the path again.
    virtual void OnFolderWatchEnded(const std::string& path) { OnFolderChanged(path); }

protected:
    ~IFolderChangeListener() = default;
};

class CFileObserver2 {
public:
    // The two watch sets. The views fill SubFolderObservers; Wake wakes its worker.
    enum class WatchSet { FolderObservers, SubFolderObservers };

    // One watched folder. Stored by value in its set, keyed by path (exact, case-sensitive comparison).
    struct DirObserver {
        std::string path;                          // the folder's path, same as its key
        int watch = -1;                            // inotify watch descriptor in the set's descriptor
        uint32_t filter = 0;                       // inotify mask the watch was added with
        IFolderChangeListener* listener = nullptr; // receives the reports; not owned
        bool enabled = true;                       // reports are delivered only while set
    };

    // How long the destructor waits for both workers to end.
    static constexpr std::chrono::milliseconds kStopTimeout{5000};

    // Creates both watch sets and starts both workers. Throws std::system_error when a descriptor or a
    // thread cannot be created.
    CFileObserver2();
    explicit CFileObserver2(std::chrono::milliseconds stopTimeout);
    CFileObserver2(const CFileObserver2&) = delete;
    CFileObserver2& operator=(const CFileObserver2&) = delete;

    // Stops both workers, waiting up to the stop timeout in all; a worker that does not end in time (one
    // stuck in a listener) is left to end by itself when its listener returns. Listeners must stay alive
    // until the destructor returns, and longer if a listener call can outlast the timeout.
    virtual ~CFileObserver2();

    // Watches path (a folder; symlinks followed) in set, reporting to listener. Returns 1 when the folder is
    // watched afterwards, also when it already was (the first listener stays), and 0 when it is not a
    // folder, does not exist or cannot be watched (for example the per-user watch limit is reached).
    // Changes are seen from the moment AddFolder returns; Wake is kept for callers that pair the two.
    int AddFolder(WatchSet set, const std::string& path, IFolderChangeListener* listener);

    // Signals the second worker's controller event so that it starts a new pass. 1 on success, else 0.
    int Wake();

    // Whether path is a key of set. A folder that was deleted, moved away or unmounted drops out of its set
    // once the worker has seen the kernel's notice (its listener hears OnFolderWatchEnded), and can then
    // be added again.
    bool IsWatched(WatchSet set, const std::string& path) const;
    size_t FolderCount(WatchSet set) const;

private:
    // One watch set and the state of the worker that serves it.
    struct WatchSetT {
        std::unordered_map<std::string, DirObserver> observers; // guarded by Shared::lock
        std::unordered_map<int, std::vector<std::string>> keysByWatch; // guarded by lock; several keys
                                                                       // can name one directory
        CUniqueFd notifyFd;   // inotify descriptor; fixed for the life of Shared
        bool stop = false;    // guarded by lock; tells the worker to end
        bool ended = false;   // guarded by lock; set by the worker as it leaves, announced on Shared::endedCv
    };

    struct Shared {
        Shared();
        mutable std::mutex lock; // the observer lock
        std::condition_variable endedCv;
        WatchSetT folderObservers;
        WatchSetT subFolderObservers;
        CUniqueFd m_hTQ9FolderObserverController;    // eventfd; wakes the first worker
        CUniqueFd m_hTQ9SubFolderObserverController; // eventfd; wakes the second worker
    };

    static void ProcObserver(std::shared_ptr<Shared> shared, WatchSetT& set, int controller);
    static void DeliverBatch(Shared& shared, WatchSetT& set, const std::vector<int>& changed,
                             const std::vector<int>& gone, bool overflow);
    static void Rebind(WatchSetT& set, DirObserver& folder, int watch);
    static void Unbind(WatchSetT& set, const DirObserver& folder);
    static std::vector<DirObserver> Revalidate(WatchSetT& set);
    WatchSetT& Set(WatchSet set) const;
    void StopWorker(std::thread& thread, WatchSetT& set, std::unique_lock<std::mutex>& lock,
                    std::chrono::steady_clock::time_point deadline);

    std::shared_ptr<Shared> m_shared;
    std::chrono::milliseconds m_stopTimeout;
    std::thread m_firstWorker;
    std::thread m_secondWorker;
};

} // namespace tq9
