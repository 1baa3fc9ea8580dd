#include "platform/FolderLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>

namespace tq9 {

CFolderLock::CFolderLock(const std::string& folder, const std::function<bool()>& stop,
                         const std::function<void(const std::string&)>& waiting)
{
    CUniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.IsOpen())
        return;
    // flock cannot be woken by a flag, so the wait polls: a try every kPollInterval, the stop asked each time.
    const auto until = std::chrono::steady_clock::now() + kMaxWait;
    bool announced = false;
    int err = 0;
    for (;;) {
        if (::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0)
            break;
        if (errno != EWOULDBLOCK && errno != EINTR)
            break; // a file system that refuses locks altogether still gets the rest of the protection
        if (!announced && waiting)
            waiting(folder);
        announced = true;
        if (stop && stop()) {
            err = ECANCELED;
            break;
        }
        if (std::chrono::steady_clock::now() >= until) {
            err = ETIMEDOUT;
            break;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    if (announced && waiting)
        waiting(std::string());
    if (err != 0) {
        errno = err;
        return;
    }
    // (No-replace renames and case-insensitive name checks protect where locks are refused; failing the
    // placement for such a file system would help nobody.)
    m_fd = std::move(fd);
}

} // namespace tq9
