// What the tests that run the desktop program under a private Xvfb server share: a child process that is
// killed and reaped when it goes (its stderr kept for failure messages), a poll-until helper, and the
// server itself on a display it picks, so two tests starting servers at once never race for a number.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"

namespace tq9test {

class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Running() const;
    pid_t Pid() const { return m_pid; }
    std::string Err() const;

private:
    pid_t m_pid = -1;
    int m_errFd = -1;
    std::thread m_reader;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::string m_err;
};

// Polls pred every 50 ms until it holds (true) or limit passes (false).
template <typename Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

class XvfbDisplay {
public:
    // Why the tests cannot run here ("" when they can): Xvfb, xdotool or the desktop program missing.
    static std::string SkipReason();
    // Starts a server of the given size with its display-number file in dir; Name() is empty when it did
    // not come up within 30 s. Without -noreset the server resets when its last client (an xdotool call)
    // leaves, and a program connecting just then is turned away.
    XvfbDisplay(const fs::path& dir, const std::string& screen = "1280x900x24");
    const std::string& Name() const { return m_name; }
    const ChildProcess& Server() const { return *m_server; }

private:
    std::unique_ptr<ChildProcess> m_server;
    std::string m_name;
};

} // namespace tq9test
