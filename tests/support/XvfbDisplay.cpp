#include "support/XvfbDisplay.h"

#include <csignal>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tq9test {

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env)
{
    m_pid = SpawnProcess(argv, env, m_errFd);
    m_reader = std::thread([this] {
        char buf[4096];
        pollfd p{m_errFd, POLLIN, 0};
        while (!m_stop) {
            if (::poll(&p, 1, 100) <= 0)
                continue;
            const ssize_t n = ::read(m_errFd, buf, sizeof buf);
            if (n <= 0)
                break;
            std::lock_guard<std::mutex> lock(m_mutex);
            m_err.append(buf, size_t(n));
        }
    });
}

ChildProcess::~ChildProcess()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
    m_stop = true;
    m_reader.join();
    if (m_errFd >= 0)
        ::close(m_errFd);
}

bool ChildProcess::Running() const
{
    return m_pid > 0 && ::waitpid(m_pid, nullptr, WNOHANG) == 0;
}

std::string ChildProcess::Err() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_err;
}

std::string XvfbDisplay::SkipReason()
{
    if (::access("/usr/bin/Xvfb", X_OK) != 0 || ::access("/usr/bin/xdotool", X_OK) != 0)
        return "needs Xvfb and xdotool (scripts/install-deps)";
    if (!fs::exists(BinPath("tq9-image-converter")))
        return "the desktop program is not part of this build (TQ9_GUI=OFF)";
    return {};
}

XvfbDisplay::XvfbDisplay(const fs::path& dir, const std::string& screen)
{
    using namespace std::chrono_literals;
    const fs::path number = dir / "display";
    m_server = std::make_unique<ChildProcess>(
        std::vector<std::string>{"sh", "-c",
                                 "exec Xvfb -displayfd 3 -noreset -screen 0 " + screen + " -nolisten tcp 3>\"$0\"",
                                 number.string()},
        std::vector<std::string>{});
    if (WaitUntil([&] { return fs::exists(number) && ReadFile(number).find('\n') != std::string::npos; }, 30s))
        m_name = ":" + ReadFile(number).substr(0, ReadFile(number).find('\n'));
}

} // namespace tq9test
