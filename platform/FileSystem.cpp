#include "platform/FileSystem.h"
#include "platform/DirectoryEnumerator.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace tq9 {

std::optional<std::string> CFileSystem::LongPath(const std::string& path)
{
    if (path.empty() || path.size() >= PATH_MAX) {
        errno = path.empty() ? ENOENT : ENAMETOOLONG;
        return std::nullopt;
    }
    char buf[PATH_MAX];
    if (!::realpath(path.c_str(), buf))
        return std::nullopt;
    return std::string(buf);
}

bool CFileSystem::IsTooLong(const std::string& path)
{
    return !LongPath(path) && errno == ENAMETOOLONG;
}

CUniqueFd CFileSystem::OpenFolderStepwise(const std::string& path)
{
    if (path.empty())
        return CUniqueFd();
    CUniqueFd at(::open(path[0] == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (size_t start = 0; at.IsOpen() && start < path.size();) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        if (end > start)
            at.Reset(::openat(at.Get(), path.substr(start, end - start).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        start = end + 1;
    }
    return at;
}

std::optional<std::string> CFileSystem::TempFolder()
{
    std::error_code ec;
    std::filesystem::path p = std::filesystem::temp_directory_path(ec);
    if (ec)
        return std::nullopt;
    std::string s = p.string();
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    struct stat st {};
    if (::stat(s.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return std::nullopt;
    return s;
}

std::optional<std::string> CFileSystem::CacheFolder(bool create)
{
    std::string base;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && xdg[0] == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        base = std::string(home) + "/.cache";
    else
        return std::nullopt;
    const std::string folder = base + "/tq9-image-converter";
    if (create) {
        std::error_code ec;
        std::filesystem::create_directories(base, ec);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return std::nullopt;
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return std::nullopt;
    return folder;
}

bool CFileSystem::RemoveFolderOfFiles(const std::string& folder)
{
    // Opened without following a link, and its entries judged and removed relative to that descriptor, so a
    // folder swapped for a link meanwhile cannot lead the removal elsewhere.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    if (DIR* dir = ::fdopendir(fd)) {
        while (const dirent* entry = ::readdir(dir)) {
            struct stat st {};
            if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
                ::unlinkat(fd, entry->d_name, 0);
        }
        ::closedir(dir); // closes fd
    } else {
        ::close(fd);
    }
    return ::rmdir(folder.c_str()) == 0 || errno == ENOENT;
}

bool CFileSystem::OpenByAnyProcess(const std::string& folder)
{
    const std::string prefix = folder + "/";
    CDirectoryEnumerator processes("/proc");
    std::string pid;
    while (processes.Next(pid)) {
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string fds = "/proc/" + pid + "/fd";
        CDirectoryEnumerator descriptors(fds);
        std::string fd;
        while (descriptors.Next(fd)) {
            char target[PATH_MAX];
            const ssize_t n = ::readlink((fds + "/" + fd).c_str(), target, sizeof target - 1);
            if (n > 0 && std::string(target, static_cast<size_t>(n)).rfind(prefix, 0) == 0)
                return true;
        }
    }
    return false;
}

std::optional<uint64_t> CFileSystem::FreeBytes(const std::string& path)
{
    struct statvfs v {};
    // A volume without any blocks (some FUSE drivers) does not know its free space; it is not full.
    if (path.empty() || ::statvfs(path.c_str(), &v) != 0 || v.f_blocks == 0)
        return std::nullopt;
    return static_cast<uint64_t>(v.f_bavail) * static_cast<uint64_t>(v.f_frsize);
}

int CFileSystem::WriteRefusal(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return 0;
    }
    // File systems without unnamed files (FUSE, FAT) answer for the permission bits and the mount alone.
    if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)
        return ::access(folder.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
    return errno;
}

bool CFileSystem::SameFileSystem(const std::string& a, const std::string& b)
{
    struct stat sa {}, sb {};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev;
}

std::optional<uint64_t> CFileSystem::FileSize(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<uint64_t>(st.st_size);
}

std::optional<std::time_t> CFileSystem::LastWriteTime(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return st.st_mtime;
}

std::string CFileSystem::CurrentFolder()
{
    char buf[PATH_MAX];
    if (!::getcwd(buf, sizeof buf))
        return std::string();
    return buf;
}

std::string CFileSystem::FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string CFileSystem::NameOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace tq9
