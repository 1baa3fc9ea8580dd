#include "platform/ReadLease.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tq9 {

bool CReadLease::CanReadExclusively(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    bool ok = true;
    // A read lease is refused with EAGAIN while any process holds the file open for writing.
    if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0)
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
    else if (errno == EAGAIN)
        ok = false;
    ::close(fd);
    return ok;
}

} // namespace tq9
