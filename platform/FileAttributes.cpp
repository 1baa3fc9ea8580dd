#include "platform/FileAttributes.h"
#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace tq9 {

namespace {

constexpr long kExfatSuperMagic = 0x2011BAB0;

bool isFatFamily(int fd)
{
    struct statfs sfs {};
    if (::fstatfs(fd, &sfs) != 0)
        return false;
    return sfs.f_type == MSDOS_SUPER_MAGIC || sfs.f_type == kExfatSuperMagic;
}

// Reads the FAT attribute byte; false when the file system has none (not FAT, or a driver without the ioctl).
bool fatAttributes(const std::string& path, uint32_t& attrs)
{
    const CUniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.IsOpen())
        return false;
    bool ok = false;
    if (isFatFamily(fd.Get())) {
        __u32 a = 0;
        ok = ::ioctl(fd.Get(), FAT_IOCTL_GET_ATTRIBUTES, &a) == 0;
        attrs = a;
    }
    return ok;
}

std::string baseName(const std::string& path)
{
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    size_t slash = p.rfind('/');
    return slash == std::string::npos ? p : p.substr(slash + 1);
}

} // namespace

uint32_t CFileAttributes::Get(const std::string& path)
{
    if (path.empty())
        return INVALID_FILE_ATTRIBUTES;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return INVALID_FILE_ATTRIBUTES;
    uint32_t attrs = 0;
    if (S_ISDIR(st.st_mode))
        attrs |= FILE_ATTRIBUTE_DIRECTORY;
    if (::access(path.c_str(), W_OK) != 0 && !S_ISDIR(st.st_mode))
        attrs |= FILE_ATTRIBUTE_READONLY;
    uint32_t fat = 0;
    if (fatAttributes(path, fat)) {
        if (fat & ATTR_HIDDEN)
            attrs |= FILE_ATTRIBUTE_HIDDEN;
    } else {
        std::string name = baseName(path);
        if (name.size() > 1 && name[0] == '.' && name != "..")
            attrs |= FILE_ATTRIBUTE_HIDDEN;
    }
    if (attrs == 0)
        attrs = FILE_ATTRIBUTE_NORMAL;
    return attrs;
}

bool CFileAttributes::IsDirectory(const std::string& path)
{
    uint32_t a = Get(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool CFileAttributes::IsFile(const std::string& path)
{
    uint32_t a = Get(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool CFileAttributes::Exists(const std::string& path)
{
    return Get(path) != INVALID_FILE_ATTRIBUTES;
}

EntryKind CFileAttributes::KindOf(const std::string& path)
{
    struct stat st {};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0)
        return EntryKind::Missing;
    if (S_ISLNK(st.st_mode))
        return EntryKind::Link;
    if (S_ISDIR(st.st_mode))
        return EntryKind::Directory;
    return S_ISREG(st.st_mode) ? EntryKind::Regular : EntryKind::Other;
}

std::string CFileAttributes::RefusalText(EntryKind kind)
{
    switch (kind) {
    case EntryKind::Regular:
        return {};
    case EntryKind::Missing:
        return "does not exist";
    case EntryKind::Link:
        return "is a link";
    case EntryKind::Directory:
        return "is a folder";
    case EntryKind::Other:
        break;
    }
    return "is not a regular file";
}

bool CFileAttributes::SetFatHidden(const std::string& path, bool hidden)
{
    const CUniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.IsOpen())
        return false;
    __u32 a = 0;
    if (!isFatFamily(fd.Get()) || ::ioctl(fd.Get(), FAT_IOCTL_GET_ATTRIBUTES, &a) != 0)
        return false;
    a = hidden ? (a | ATTR_HIDDEN) : (a & ~static_cast<__u32>(ATTR_HIDDEN));
    return ::ioctl(fd.Get(), FAT_IOCTL_SET_ATTRIBUTES, &a) == 0;
}

} // namespace tq9
