#include "platform/MountWatcher.h"

#include "platform/DebugLog.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>

namespace tq9 {

CMountWatcher::CMountWatcher(Callback onChange, const std::string& mountsFile)
    : CMountWatcher(std::move(onChange), std::chrono::milliseconds(-1), {}, mountsFile)
{
}

CMountWatcher::CMountWatcher(Callback onChange, std::chrono::milliseconds every, Callback onTick,
                             const std::string& mountsFile)
    : m_onChange(std::move(onChange))
    , m_onTick(std::move(onTick))
    , m_tickMs(m_onTick ? static_cast<int>(every.count()) : -1)
    , m_mounts(::open(mountsFile.c_str(), O_RDONLY | O_CLOEXEC))
    , m_stop(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    if (!m_mounts.IsOpen() || !m_stop.IsOpen()) {
        if (CDebugLog::Enabled())
            CDebugLog::Write("CMountWatcher: cannot watch " + mountsFile + ": " + std::strerror(errno));
        return;
    }
    m_thread = std::thread(&CMountWatcher::Run, this);
}

CMountWatcher::~CMountWatcher()
{
    if (!m_thread.joinable())
        return;
    const uint64_t one = 1;
    if (::write(m_stop.Get(), &one, sizeof one) != sizeof one)
        std::terminate(); // an eventfd write of 1 cannot fail; joining without it would hang
    m_thread.join();
}

void CMountWatcher::Run()
{
    for (;;) {
        // The kernel compares with the table as it was at open or at the last wake-up, which the wake-up
        // itself marks as seen: each mount or unmount wakes us once, nothing has to be read.
        pollfd fds[2] = {{m_stop.Get(), POLLIN, 0}, {m_mounts.Get(), POLLPRI, 0}};
        const int ready = ::poll(fds, 2, m_tickMs);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            CDebugLog::Write(std::string("CMountWatcher: poll failed: ") + std::strerror(errno));
            return;
        }
        if (fds[0].revents)
            return;
        const Callback& call = ready == 0 ? m_onTick : m_onChange;
        if (ready == 0 || (fds[1].revents & (POLLPRI | POLLERR))) {
            try {
                call();
            } catch (...) {
                CDebugLog::Write("CMountWatcher: a callback threw");
            }
        }
    }
}

} // namespace tq9
