#include "ui/HeldDataRequests.h"

#include "platform/DebugLog.h"
#include "platform/DirectoryEnumerator.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tq9 {

namespace {

// Writes what it can of data without blocking and without the SIGPIPE a reader that has gone would raise.
// Returns the bytes written, or -1 when the reader has gone (or the pipe failed).
ssize_t writeSome(int fd, const char* data, size_t size)
{
    struct sigaction ignore {}, old {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &old);
    ssize_t written = ::write(fd, data, size);
    const int err = errno;
    ::sigaction(SIGPIPE, &old, nullptr);
    if (written < 0 && (err == EAGAIN || err == EINTR))
        written = 0;
    return written;
}

bool readerGone(int fd)
{
    pollfd p{fd, 0, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLERR | POLLHUP | POLLNVAL));
}

} // namespace

CHeldDataRequests::CHeldDataRequests()
    : m_known(WriteOnlyPipes())
{
    // Tests set 0 to see what a reader does that is not kept waiting.
    const char* interval = std::getenv("TQ9_DRAG_KEEPALIVE_MS");
    m_keepAlive = interval == nullptr || std::atoi(interval) > 0;
    m_timer.setInterval(interval ? std::max(1, std::atoi(interval)) : 400);
    connect(&m_timer, &QTimer::timeout, this, &CHeldDataRequests::KeepAlive);
}

CHeldDataRequests::~CHeldDataRequests()
{
    for (int fd : m_held)
        ::close(fd);
}

std::set<std::pair<int, ino_t>> CHeldDataRequests::WriteOnlyPipes()
{
    std::set<std::pair<int, ino_t>> pipes;
    CDirectoryEnumerator entries("/proc/self/fd");
    std::string name;
    while (entries.Next(name)) {
        char* end = nullptr;
        const long fd = std::strtol(name.c_str(), &end, 10);
        if (end == name.c_str() || *end != '\0')
            continue;
        struct stat st {};
        const int flags = ::fcntl(static_cast<int>(fd), F_GETFL);
        if (flags < 0 || (flags & O_ACCMODE) != O_WRONLY || ::fstat(static_cast<int>(fd), &st) != 0 ||
            !S_ISFIFO(st.st_mode))
            continue;
        pipes.emplace(static_cast<int>(fd), st.st_ino);
    }
    return pipes;
}

bool CHeldDataRequests::HoldCurrent()
{
    std::vector<int> fresh;
    for (const auto& pipe : WriteOnlyPipes())
        if (m_known.insert(pipe).second)
            fresh.push_back(pipe.first);
    if (fresh.size() != 1) {
        CDebugLog::Write("drag-out: " + std::to_string(fresh.size()) + " new pipes at a data request; not held");
        return false;
    }
    const int held = ::fcntl(fresh.front(), F_DUPFD_CLOEXEC, 0);
    if (held < 0)
        return false;
    struct stat st {};
    if (::fstat(held, &st) == 0)
        m_known.emplace(held, st.st_ino);
    m_held.push_back(held);
    if (!m_firstHeld)
        m_firstHeld = std::chrono::steady_clock::now();
    if (m_keepAlive)
        m_timer.start();
    return true;
}

int CHeldDataRequests::Waiting()
{
    for (auto it = m_held.begin(); it != m_held.end();) {
        if (readerGone(*it)) {
            ::close(*it);
            it = m_held.erase(it);
        } else {
            ++it;
        }
    }
    return static_cast<int>(m_held.size());
}

void CHeldDataRequests::KeepAlive()
{
    for (auto it = m_held.begin(); it != m_held.end();) {
        if (writeSome(*it, "\r\n", 2) < 0) {
            ::close(*it);
            it = m_held.erase(it);
        } else {
            ++it;
        }
    }
    if (m_held.empty())
        m_timer.stop();
}

int CHeldDataRequests::Answer(const QByteArray& data)
{
    m_timer.stop();
    int answered = 0;
    for (int fd : m_held) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        // A list is far smaller than a pipe's buffer; a reader that stopped reading gets 2 s.
        qsizetype done = 0;
        for (int waits = 0; done < data.size() && waits < 20;) {
            const ssize_t n = writeSome(fd, data.constData() + done, static_cast<size_t>(data.size() - done));
            if (n < 0)
                break;
            done += n;
            if (n == 0) {
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, 100);
                ++waits;
            }
        }
        answered += done == data.size() ? 1 : 0;
        ::close(fd);
    }
    m_held.clear();
    return answered;
}

} // namespace tq9
