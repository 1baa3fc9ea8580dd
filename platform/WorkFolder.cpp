#include "platform/WorkFolder.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <vector>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/DebugLog.h"
#include "platform/DirectoryEnumerator.h"
#include "platform/FileSystem.h"

namespace tq9 {

namespace {

constexpr size_t kRandomLength = 6; // mkdtemp's XXXXXX

CUniqueFd openFolder(const std::string& path)
{
    return CUniqueFd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

bool allOf(const std::string& s, bool (*accept)(char))
{
    return std::all_of(s.begin(), s.end(), accept);
}

// The pid in a name of exactly the form a run gives its folder (prefix, pid, "-", mkdtemp's six
// characters); 0 for any other name.
pid_t pidOfFolderName(const std::string& name)
{
    const std::string prefix = CWorkFolder::kPrefix;
    if (name.compare(0, prefix.size(), prefix) != 0)
        return 0;
    const std::string tail = name.substr(prefix.size());
    const size_t dash = tail.find('-');
    if (dash == std::string::npos || dash == 0 || dash > 10 || tail.size() - dash - 1 != kRandomLength)
        return 0;
    const std::string pid = tail.substr(0, dash);
    const std::string random = tail.substr(dash + 1);
    if (!allOf(pid, [](char c) { return c >= '0' && c <= '9'; }) ||
        !allOf(random, [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }))
        return 0;
    const long value = std::strtol(pid.c_str(), nullptr, 10);
    return value > 0 && value <= INT32_MAX ? static_cast<pid_t>(value) : 0;
}

bool processGone(pid_t pid)
{
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

// The names in the open folder fd when every entry is a regular file of ours that isWorkingFile takes;
// nullopt as soon as one is not.
std::optional<std::vector<std::string>> runFilesOnly(int fd, const CWorkFolder::FileRule& isWorkingFile)
{
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    DIR* dir = own >= 0 ? ::fdopendir(own) : nullptr;
    if (!dir) {
        if (own >= 0)
            ::close(own);
        return std::nullopt;
    }
    std::vector<std::string> names;
    bool onlyRunFiles = true;
    bool complete = false;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            complete = errno == 0;
            break;
        }
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat st {};
        if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != ::geteuid() || !isWorkingFile(name)) {
            onlyRunFiles = false;
            break;
        }
        names.push_back(name);
    }
    ::closedir(dir); // closes own
    if (!onlyRunFiles || !complete)
        return std::nullopt;
    return names;
}

} // namespace

std::unique_ptr<CWorkFolder> CWorkFolder::Create()
{
    auto temp = CFileSystem::TempFolder();
    if (!temp) {
        errno = ENOENT;
        return nullptr;
    }
    return CreateIn(*temp);
}

std::unique_ptr<CWorkFolder> CWorkFolder::CreateIn(const std::string& parent)
{
    auto longTemp = CFileSystem::LongPath(parent);
    if (!longTemp) {
        errno = ENOENT;
        return nullptr;
    }
    // The pid in the name keeps every other start's clean-up away while this process lives, also in the
    // moment between mkdtemp and the lock.
    std::string path = *longTemp + "/" + kPrefix + std::to_string(::getpid()) + "-" + std::string(kRandomLength, 'X');
    if (!::mkdtemp(path.data())) // mode 0700, a name nobody had
        return nullptr;
    CUniqueFd fd = openFolder(path);
    if (!fd.IsOpen() || ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        fd.Reset();
        ::rmdir(path.c_str());
        errno = err;
        return nullptr;
    }
    return std::unique_ptr<CWorkFolder>(new CWorkFolder(path, std::move(fd)));
}

CWorkFolder::~CWorkFolder()
{
    // Before the lock goes with m_fd, so no clean-up meets a half-removed folder.
    CFileSystem::RemoveFolderOfFiles(m_path); // a run keeps only regular files in its folder
}

int CWorkFolder::RemoveAbandoned(const FileRule& isWorkingFile)
{
    int removed = 0;
    if (auto temp = CFileSystem::TempFolder())
        removed += RemoveAbandonedIn(*temp, isWorkingFile);
    if (auto cache = CFileSystem::CacheFolder(false))
        removed += RemoveAbandonedIn(*cache, isWorkingFile);
    return removed;
}

int CWorkFolder::RemoveAbandonedIn(const std::string& parent, const FileRule& isWorkingFile)
{
    CDirectoryEnumerator entries(parent);
    std::string name;
    int removed = 0;
    while (entries.Next(name)) {
        const pid_t pid = pidOfFolderName(name);
        // This process's own folders are live ones (or a dead namesake's, which the next start takes).
        if (pid == 0 || pid == ::getpid() || !processGone(pid))
            continue;
        const std::string path = parent + "/" + name;
        const CUniqueFd fd = openFolder(path); // never through a link
        struct stat st {};
        if (!fd.IsOpen() || ::fstat(fd.Get(), &st) != 0 || st.st_uid != ::geteuid())
            continue;
        if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
            continue; // a run holds it (a pid namespace of its own)
        const auto files = runFilesOnly(fd.Get(), isWorkingFile);
        if (!files) {
            CDebugLog::Write("work folder: left " + path + ": it holds more than a run's working files");
            continue;
        }
        for (const std::string& file : *files)
            ::unlinkat(fd.Get(), file.c_str(), 0);
        if (::rmdir(path.c_str()) == 0)
            ++removed;
    }
    return removed;
}

} // namespace tq9
