#include "platform/FileIo.h"
#include "platform/UniqueFd.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tq9 {

namespace {

std::atomic<uint64_t> g_calls {0};
std::atomic<uint64_t> g_failAt {0};
std::atomic<int> g_failErrno {EIO};
std::atomic<uint64_t> g_killAt {0};

// Counts the call; true when the test plan says this one must fail (errno is then set).
bool injectedFailure()
{
    const uint64_t n = ++g_calls;
    if (g_killAt.load() == n)
        ::raise(SIGKILL);
    const uint64_t failAt = g_failAt.load();
    if (failAt != 0 && n == failAt) {
        errno = g_failErrno.load();
        return true;
    }
    return false;
}

template <typename F>
auto retryIntr(F f)
{
    decltype(f()) r;
    do {
        r = f();
    } while (r < 0 && errno == EINTR);
    return r;
}

} // namespace

namespace {

// O_NONBLOCK keeps an open of a FIFO without a writer (or a device) from hanging; fstat then refuses it.
int openRegular(const std::string& path, int extraFlags)
{
    CUniqueFd fd(retryIntr([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | extraFlags); }));
    if (!fd.IsOpen())
        return -1;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0)
        return -1;
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : CFileIo::kNotRegularErrno;
        return -1;
    }
    const int flags = ::fcntl(fd.Get(), F_GETFL);
    if (flags >= 0)
        ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK);
    return fd.Release();
}

} // namespace

int CFileIo::OpenRead(const std::string& path)
{
    if (injectedFailure())
        return -1;
    return openRegular(path, 0);
}

int CFileIo::OpenReadNoFollow(const std::string& path)
{
    if (injectedFailure())
        return -1;
    return openRegular(path, O_NOFOLLOW);
}

int CFileIo::OpenWriteExisting(const std::string& path)
{
    if (injectedFailure())
        return -1;
    return retryIntr([&] { return ::open(path.c_str(), O_WRONLY | O_CLOEXEC); });
}

int CFileIo::CreateNew(const std::string& path)
{
    if (injectedFailure())
        return -1;
    return retryIntr([&] { return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); });
}

ssize_t CFileIo::Read(int fd, void* buffer, size_t size)
{
    if (injectedFailure())
        return -1;
    return retryIntr([&] { return ::read(fd, buffer, size); });
}

ssize_t CFileIo::WriteAll(int fd, const void* buffer, size_t size)
{
    if (injectedFailure())
        return -1;
    const char* p = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::write(fd, p + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0) {
            errno = ENOSPC;
            return -1;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

int CFileIo::Sync(int fd)
{
    if (injectedFailure())
        return -1;
    return retryIntr([&] { return ::fsync(fd); });
}

int CFileIo::Close(int fd)
{
    // A close is never retried: the descriptor is gone either way.
    if (injectedFailure()) {
        ::close(fd);
        return -1;
    }
    return ::close(fd);
}

int CFileIo::Rename(const std::string& from, const std::string& to)
{
    if (injectedFailure())
        return -1;
    return ::rename(from.c_str(), to.c_str());
}

int CFileIo::RenameNoReplace(const std::string& from, const std::string& to)
{
    if (injectedFailure())
        return -1;
#ifdef SYS_renameat2
    constexpr unsigned kNoReplace = 1; // RENAME_NOREPLACE
    if (::syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), kNoReplace) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
#endif
    // File systems without renameat2 flags (FAT through FUSE, some network mounts): link refuses an existing
    // name; where links are not supported either, check and rename.
    if (::link(from.c_str(), to.c_str()) == 0)
        return ::unlink(from.c_str());
    if (errno == EEXIST)
        return -1;
    if (::access(to.c_str(), F_OK) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from.c_str(), to.c_str());
}

int CFileIo::Unlink(const std::string& path)
{
    if (injectedFailure())
        return -1;
    return ::unlink(path.c_str());
}

int CFileIo::IdentityOf(const std::string& path, Identity& identity)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return -1;
    if (!S_ISREG(st.st_mode)) {
        errno = kNotRegularErrno;
        return -1;
    }
    identity = {st.st_dev, st.st_ino};
    return 0;
}

int CFileIo::UnlinkIfSame(const std::string& path, const Identity& identity)
{
    Identity now;
    if (IdentityOf(path, now) != 0)
        return -1;
    if (!(now == identity)) {
        errno = ESTALE;
        return -1;
    }
    return Unlink(path);
}

int CFileIo::CopyTimes(int in, int out)
{
    struct stat st {};
    if (::fstat(in, &st) != 0)
        return -1;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    return ::futimens(out, times);
}

int CFileIo::CopyTimes(const std::string& from, const std::string& to)
{
    struct stat st {};
    if (::stat(from.c_str(), &st) != 0)
        return -1;
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    return ::utimensat(AT_FDCWD, to.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

int CFileIo::SyncFolder(const std::string& folder)
{
    if (injectedFailure())
        return -1;
    const CUniqueFd fd(retryIntr([&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    if (!fd.IsOpen())
        return -1;
    // Some file systems (FUSE FAT) do not support fsync on folders; that is no failure of ours.
    if (::fsync(fd.Get()) != 0 && errno != EINVAL && errno != ENOSYS && errno != EROFS)
        return -1;
    return 0;
}

int CFileIo::CopyBlocks(int in, int out, const std::function<bool(uint64_t)>& afterBlock, bool* readFailed)
{
    char block[kBlockSize];
    uint64_t copied = 0;
    for (;;) {
        const ssize_t got = Read(in, block, sizeof block);
        if (got == 0)
            return 0;
        if (got < 0 || WriteAll(out, block, static_cast<size_t>(got)) < 0) {
            if (readFailed)
                *readFailed = got < 0;
            return -1;
        }
        copied += static_cast<uint64_t>(got);
        if (!afterBlock(copied))
            return 1;
    }
}

void CFileIo::FailNthCall(uint64_t n, int err)
{
    g_failErrno = err;
    g_failAt = n == 0 ? 0 : g_calls.load() + n;
}

void CFileIo::KillAtNthCall(uint64_t n)
{
    g_killAt = n == 0 ? 0 : g_calls.load() + n;
}

uint64_t CFileIo::CallCount()
{
    return g_calls.load();
}

void CFileIo::ResetCallCount()
{
    g_calls = 0;
    g_failAt = 0;
    g_killAt = 0;
}

} // namespace tq9
