#include "platform/DirectoryEnumerator.h"

#include <cerrno>

namespace tq9 {

CDirectoryEnumerator::CDirectoryEnumerator(const std::string& folder)
{
    m_dir = ::opendir(folder.c_str());
    if (!m_dir)
        m_error = errno;
}

CDirectoryEnumerator::~CDirectoryEnumerator()
{
    if (m_dir)
        ::closedir(m_dir);
}

bool CDirectoryEnumerator::Next(std::string& name)
{
    if (!m_dir)
        return false;
    errno = 0;
    struct dirent* e = ::readdir(m_dir);
    if (!e) {
        m_error = errno;
        return false;
    }
    name = e->d_name;
    return true;
}

} // namespace tq9
