#include "platform/FolderLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

namespace tq9 {

CFolderLock::CFolderLock(const std::string& folder)
{
    CUniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.IsOpen())
        return;
    int r;
    do {
        r = ::flock(fd.Get(), LOCK_EX);
    } while (r != 0 && errno == EINTR);
    // A file system that refuses locks altogether still gets the rest of the protection (no-replace
    // renames, case-insensitive name checks); failing the placement for it would help nobody.
    m_fd = std::move(fd);
}

} // namespace tq9
