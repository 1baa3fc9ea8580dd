#include "jobs/ShellPathList.h"

namespace tq9 {

void CShellPathList::AppendParts(uint32_t flags, const std::string& media, const std::string& thumbnail,
                                 const std::string& marker)
{
    if (flags & FILE_MEDIA)
        m_paths.push_back(media);
    if (flags & FILE_THUMBNAIL)
        m_paths.push_back(thumbnail);
    if (flags & FILE_MARKER)
        m_paths.push_back(marker);
}

} // namespace tq9
