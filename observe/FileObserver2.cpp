#include "observe/FileObserver2.h"

#include "platform/DebugLog.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace tq9 {

namespace {

// Entries created, deleted or renamed: the changes the file list shows. Content and attribute changes of
// files are deliberately not asked for; they would make the list rebuild on every write during an import.
constexpr uint32_t kChangeMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
// IN_MOVE_SELF: a folder moved elsewhere no longer is the folder at its path. IN_ONLYDIR refuses files in
// the same call that adds the watch, so there is no window between the check and the watch.
constexpr uint32_t kWatchMask = kChangeMask | IN_MOVE_SELF | IN_ONLYDIR;

// A storm of changes is read in one go (up to this many buffers) so that it costs one report per folder.
constexpr int kMaxReadsPerPass = 64;

void DebugLog(const char* what, const std::string& path, int error)
{
    if (CDebugLog::Enabled())
        CDebugLog::Write(std::string("CFileObserver2: ") + what + " " + path
                         + (error ? std::string(": ") + std::strerror(error) : std::string()));
}

bool SetEvent(int event)
{
    const uint64_t one = 1;
    return ::write(event, &one, sizeof one) == sizeof one;
}

// The eventfd is non-blocking: reading it clears it, and EAGAIN means it already was clear.
bool ResetEvent(int event)
{
    uint64_t count = 0;
    for (;;) {
        if (::read(event, &count, sizeof count) == sizeof count)
            return true;
        if (errno == EAGAIN)
            return true;
        if (errno != EINTR)
            return false;
    }
}

void PushUnique(std::vector<int>& list, int value)
{
    if (std::find(list.begin(), list.end(), value) == list.end())
        list.push_back(value);
}

} // namespace

CFileObserver2::Shared::Shared()
{
    folderObservers.notifyFd.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    subFolderObservers.notifyFd.Reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    m_hTQ9FolderObserverController.Reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    m_hTQ9SubFolderObserverController.Reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!folderObservers.notifyFd.IsOpen() || !subFolderObservers.notifyFd.IsOpen()
        || !m_hTQ9FolderObserverController.IsOpen() || !m_hTQ9SubFolderObserverController.IsOpen()) {
        const int error = errno;
        throw std::system_error(error, std::generic_category(),
                                "CFileObserver2: cannot create its descriptors");
    }
}

CFileObserver2::CFileObserver2()
    : CFileObserver2(kStopTimeout)
{
}

CFileObserver2::CFileObserver2(std::chrono::milliseconds stopTimeout)
    : m_shared(std::make_shared<Shared>())
    , m_stopTimeout(stopTimeout)
{
    m_firstWorker = std::thread(ProcObserver, m_shared, std::ref(m_shared->folderObservers),
                                m_shared->m_hTQ9FolderObserverController.Get());
    try {
        m_secondWorker = std::thread(ProcObserver, m_shared, std::ref(m_shared->subFolderObservers),
                                     m_shared->m_hTQ9SubFolderObserverController.Get());
    } catch (...) {
        std::unique_lock lock(m_shared->lock);
        m_shared->folderObservers.stop = true;
        SetEvent(m_shared->m_hTQ9FolderObserverController.Get());
        StopWorker(m_firstWorker, m_shared->folderObservers, lock,
                   std::chrono::steady_clock::now() + m_stopTimeout);
        throw;
    }
}

CFileObserver2::~CFileObserver2()
{
    std::unique_lock lock(m_shared->lock);
    for (WatchSetT* set : {&m_shared->folderObservers, &m_shared->subFolderObservers}) {
        set->stop = true;
        // Drop the watches now: a worker stuck in a listener may keep the descriptor open for a while.
        for (const auto& entry : set->keysByWatch)
            ::inotify_rm_watch(set->notifyFd.Get(), entry.first);
        set->keysByWatch.clear();
        set->observers.clear();
    }
    SetEvent(m_shared->m_hTQ9FolderObserverController.Get());
    SetEvent(m_shared->m_hTQ9SubFolderObserverController.Get());
    const auto deadline = std::chrono::steady_clock::now() + m_stopTimeout; // one limit for both workers
    StopWorker(m_firstWorker, m_shared->folderObservers, lock, deadline);
    StopWorker(m_secondWorker, m_shared->subFolderObservers, lock, deadline);
}

// Waits until deadline for the worker of set; lock is held on entry and on return. A worker that does not
// end in time is detached: it holds its own reference to Shared and ends when its listener returns.
void CFileObserver2::StopWorker(std::thread& thread, WatchSetT& set, std::unique_lock<std::mutex>& lock,
                                std::chrono::steady_clock::time_point deadline)
{
    if (!thread.joinable())
        return;
    if (thread.get_id() == std::this_thread::get_id()) { // destroyed from inside one of its own listeners
        thread.detach();
        return;
    }
    if (m_shared->endedCv.wait_until(lock, deadline, [&set] { return set.ended; })) {
        lock.unlock();
        thread.join(); // it has only its return left to do
        lock.lock();
    } else {
        thread.detach();
    }
}

CFileObserver2::WatchSetT& CFileObserver2::Set(WatchSet set) const
{
    return set == WatchSet::FolderObservers ? m_shared->folderObservers : m_shared->subFolderObservers;
}

int CFileObserver2::AddFolder(WatchSet which, const std::string& path, IFolderChangeListener* listener)
{
    WatchSetT& set = Set(which);
    std::lock_guard guard(m_shared->lock);
    if (set.stop)
        return 0;
    // Adding a watch for a directory that already has one returns its descriptor, so this also tells
    // whether a known key still names the directory it was watched as.
    const int watch = ::inotify_add_watch(set.notifyFd.Get(), path.c_str(), kWatchMask);
    if (watch < 0) {
        DebugLog("cannot watch", path, errno);
        return 0;
    }
    auto found = set.observers.find(path);
    if (found != set.observers.end()) {
        // A different descriptor: the folder was replaced (deleted and made again) before the worker saw
        // the old one go.
        Rebind(set, found->second, watch);
        return 1;
    }
    DirObserver record;
    record.path = path;
    record.watch = watch;
    record.filter = kWatchMask;
    record.listener = listener;
    set.observers.emplace(path, std::move(record));
    set.keysByWatch[watch].push_back(path);
    return 1;
}

// Moves folder's key from its old watch to watch, dropping the old watch when no key is left on it.
void CFileObserver2::Rebind(WatchSetT& set, DirObserver& folder, int watch)
{
    if (folder.watch == watch)
        return;
    Unbind(set, folder);
    folder.watch = watch;
    set.keysByWatch[watch].push_back(folder.path);
}

void CFileObserver2::Unbind(WatchSetT& set, const DirObserver& folder)
{
    auto keys = set.keysByWatch.find(folder.watch);
    if (keys == set.keysByWatch.end())
        return;
    std::erase(keys->second, folder.path);
    if (keys->second.empty()) {
        ::inotify_rm_watch(set.notifyFd.Get(), folder.watch); // a moved folder keeps its watch otherwise
        set.keysByWatch.erase(keys);
    }
}

// After an overflow the kernel's notices of folders going away may be among the lost events: checks every
// folder's path again, forgetting those that are gone (returned, so that their listeners hear of it) and
// following those that were replaced.
std::vector<CFileObserver2::DirObserver> CFileObserver2::Revalidate(WatchSetT& set)
{
    std::vector<DirObserver> gone;
    for (auto entry = set.observers.begin(); entry != set.observers.end();) {
        const int watch = ::inotify_add_watch(set.notifyFd.Get(), entry->first.c_str(), kWatchMask);
        if (watch < 0) {
            Unbind(set, entry->second);
            gone.push_back(std::move(entry->second));
            entry = set.observers.erase(entry);
        } else {
            Rebind(set, entry->second, watch);
            ++entry;
        }
    }
    return gone;
}

int CFileObserver2::Wake()
{
    std::lock_guard guard(m_shared->lock);
    return SetEvent(m_shared->m_hTQ9SubFolderObserverController.Get()) ? 1 : 0;
}

bool CFileObserver2::IsWatched(WatchSet set, const std::string& path) const
{
    std::lock_guard guard(m_shared->lock);
    return Set(set).observers.count(path) != 0;
}

size_t CFileObserver2::FolderCount(WatchSet set) const
{
    std::lock_guard guard(m_shared->lock);
    return Set(set).observers.size();
}

// The loop of each worker. Each pass clears the controller event under the lock, so a Wake or stop signalled
// after that is seen by the next poll, then waits for the controller or the set's inotify descriptor.
void CFileObserver2::ProcObserver(std::shared_ptr<Shared> shared, WatchSetT& set, int controller)
{
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        {
            std::lock_guard guard(shared->lock);
            if (set.stop)
                break;
            if (!ResetEvent(controller)) {
                CDebugLog::Write("CFileObserver2::ProcObserver() : SetEvent() Failed.");
                break;
            }
        }
        pollfd fds[2] = {{controller, POLLIN, 0}, {set.notifyFd.Get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            CDebugLog::Write(std::string("CFileObserver2::ProcObserver() : poll() Failed: ") + std::strerror(errno));
            break;
        }
        if (!(fds[1].revents & POLLIN))
            continue; // woken: start a new pass

        std::vector<int> changed; // watch descriptors in the order they first changed
        std::vector<int> gone;    // watches the kernel dropped or that no longer name their path
        bool overflow = false;
        for (int reads = 0; reads < kMaxReadsPerPass; ++reads) {
            const ssize_t length = ::read(set.notifyFd.Get(), buffer.data(), buffer.size());
            if (length < 0 && errno == EINTR)
                continue;
            if (length <= 0)
                break; // EAGAIN: drained
            for (ssize_t offset = 0; offset < length;) {
                inotify_event event;
                std::memcpy(&event, buffer.data() + offset, sizeof event); // the buffer is not aligned for it
                offset += static_cast<ssize_t>(sizeof event + event.len);
                if (event.mask & IN_Q_OVERFLOW)
                    overflow = true;
                if (event.mask & kChangeMask)
                    PushUnique(changed, event.wd);
                if (event.mask & (IN_IGNORED | IN_MOVE_SELF | IN_UNMOUNT))
                    PushUnique(gone, event.wd);
            }
        }
        DeliverBatch(*shared, set, changed, gone, overflow);
    }
    {
        std::lock_guard guard(shared->lock);
        set.ended = true;
    }
    shared->endedCv.notify_all();
}

// Reports the folders of one batch of events and forgets the folders that went away. An overflow lost
// events, so every folder of the set is reported for a rescan. Listeners are called without the lock.
void CFileObserver2::DeliverBatch(Shared& shared, WatchSetT& set, const std::vector<int>& changed,
                                  const std::vector<int>& gone, bool overflow)
{
    struct Report {
        IFolderChangeListener* listener;
        std::string path;
        bool ended; // the watch is gone: OnFolderWatchEnded rather than OnFolderChanged
    };
    std::vector<Report> reports;
    {
        std::lock_guard guard(shared.lock);
        if (set.stop)
            return;
        auto add = [&reports](const DirObserver& folder, bool ended = false) {
            if (folder.enabled && folder.listener)
                reports.push_back({folder.listener, folder.path, ended});
        };
        // Ends first: a listener that hears of a later change in another folder (a test's sentinel, say)
        // has then heard of every folder that went before it.
        for (int watch : gone) {
            auto keys = set.keysByWatch.find(watch);
            if (keys == set.keysByWatch.end())
                continue;
            const std::vector<std::string> goneKeys = keys->second;
            // Silently dropping the folder would leave its listener showing what was there; after a
            // remount at the same place nothing would watch it again.
            for (const std::string& key : goneKeys) {
                auto folder = set.observers.find(key);
                add(folder->second, true);
                Unbind(set, folder->second);
                set.observers.erase(folder);
            }
        }
        if (overflow) {
            for (const DirObserver& folder : Revalidate(set))
                add(folder, true);
            for (const auto& entry : set.observers)
                add(entry.second);
        } else {
            for (int watch : changed) {
                auto keys = set.keysByWatch.find(watch);
                if (keys == set.keysByWatch.end())
                    continue; // gone in this batch: its end was reported
                for (const std::string& key : keys->second)
                    add(set.observers.at(key));
            }
        }
    }
    for (const Report& report : reports) {
        {
            std::lock_guard guard(shared.lock);
            if (set.stop)
                return; // the observer is being destroyed: its listeners may be going too
        }
        try {
            if (report.ended)
                report.listener->OnFolderWatchEnded(report.path);
            else
                report.listener->OnFolderChanged(report.path);
        } catch (...) {
            DebugLog("listener threw for", report.path, 0);
        }
    }
}

} // namespace tq9
