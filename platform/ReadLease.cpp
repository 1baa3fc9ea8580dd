#include "platform/ReadLease.h"
#include "platform/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tq9 {

bool CReadLease::CanReadExclusively(const std::string& path)
{
    const CUniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.IsOpen())
        return false;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    // A read lease is refused with EAGAIN while any process holds the file open for writing.
    if (::fcntl(fd.Get(), F_SETLEASE, F_RDLCK) == 0) {
        ::fcntl(fd.Get(), F_SETLEASE, F_UNLCK);
        return true;
    }
    return errno != EAGAIN;
}

} // namespace tq9
