#include "card/CardClaim.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <filesystem>

namespace tq9 {

namespace {

CUniqueFd openFolder(const std::string& folder)
{
    return CUniqueFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

std::string cardRootOf(const std::string& cardFolder)
{
    std::filesystem::path folder = std::filesystem::path(cardFolder).lexically_normal();
    if (!folder.has_filename())
        folder = folder.parent_path(); // "TQ9_0001/"
    return folder.parent_path().parent_path().string();
}

} // namespace

CCardClaim::CCardClaim(const std::string& cardFolder) : m_fd(openFolder(cardRootOf(cardFolder)))
{
    if (m_fd.IsOpen() && ::flock(m_fd.Get(), LOCK_SH) != 0)
        m_fd = CUniqueFd(-1);
}

bool CCardClaim::Claimed(const std::string& cardRoot)
{
    const CUniqueFd fd = openFolder(cardRoot);
    return fd.IsOpen() && ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

} // namespace tq9
