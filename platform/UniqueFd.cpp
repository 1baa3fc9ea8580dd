#include "platform/UniqueFd.h"

#include <unistd.h>

#include "platform/FileIo.h"

namespace tq9 {

void CUniqueFd::Reset(int fd) noexcept
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

int CUniqueFd::Close()
{
    if (m_fd < 0)
        return 0;
    return CFileIo::Close(Release());
}

} // namespace tq9
