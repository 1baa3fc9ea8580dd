// Tells when the system's mount table changes (a card put in or taken out), so that the program can look
// for cards again without a restart. The kernel marks /proc/self/mounts readable-with-priority after every
// mount or unmount; a thread of the watcher's own waits for that with poll().
//
// Threads: constructed and destroyed on any one thread; the callback runs on the watcher's thread, never
// after the destructor has returned.
#pragma once

#include "platform/UniqueFd.h"

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace tq9 {

class CMountWatcher {
public:
    using Callback = std::function<void()>;

    // Starts watching mountsFile. A file that cannot be opened leaves the watcher idle (IsWatching false):
    // cards are then found at start-up only. Throws std::system_error when the thread cannot start.
    explicit CMountWatcher(Callback onChange, const std::string& mountsFile = "/proc/self/mounts");
    // Also calls onTick on the watcher's thread whenever `every` passes without a change: for what no
    // mount change announces (a card formatted while it is mounted).
    CMountWatcher(Callback onChange, std::chrono::milliseconds every, Callback onTick,
                  const std::string& mountsFile = "/proc/self/mounts");
    ~CMountWatcher();
    CMountWatcher(const CMountWatcher&) = delete;
    CMountWatcher& operator=(const CMountWatcher&) = delete;

    bool IsWatching() const { return m_thread.joinable(); }

private:
    void Run();

    Callback m_onChange;
    Callback m_onTick;
    int m_tickMs = -1; // poll()'s timeout: none without a tick
    CUniqueFd m_mounts;
    CUniqueFd m_stop; // eventfd: the destructor's request to end
    std::thread m_thread;
};

} // namespace tq9
