#include "platform/WorkFolder.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/DirectoryEnumerator.h"
#include "platform/FileSystem.h"

namespace tq9 {

namespace {

// mkdtemp and the lock are two steps: a folder is born under this name and renamed only once locked, so
// a clean-up running in between never takes it for abandoned. A pending name older than this is a run
// killed between the two steps.
constexpr const char* kPendingPrefix = "tq9-work-new-";
constexpr time_t kPendingGraceSeconds = 60;

CUniqueFd openFolder(const std::string& path)
{
    return CUniqueFd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

bool startsWith(const std::string& s, const char* prefix)
{
    return s.rfind(prefix, 0) == 0;
}

void removeTree(const std::string& path)
{
    CFileSystem::RemoveFolderOfFiles(path); // a run keeps only regular files in its folder
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
    std::string pending = *longTemp + "/" + kPendingPrefix + "XXXXXX";
    if (!::mkdtemp(pending.data())) // mode 0700, a name nobody had
        return nullptr;
    CUniqueFd fd = openFolder(pending);
    if (!fd.IsOpen() || ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        fd.Reset();
        ::rmdir(pending.c_str());
        errno = err;
        return nullptr;
    }
    std::string path = *longTemp + "/" + kPrefix + pending.substr(pending.size() - 6);
    if (::rename(pending.c_str(), path.c_str()) != 0)
        path = pending; // still ours and locked; the pending name only delays another run's clean-up
    return std::unique_ptr<CWorkFolder>(new CWorkFolder(path, std::move(fd)));
}

CWorkFolder::~CWorkFolder()
{
    removeTree(m_path); // before the lock goes with m_fd, so no clean-up meets a half-removed folder
}

int CWorkFolder::RemoveAbandoned()
{
    int removed = 0;
    if (auto temp = CFileSystem::TempFolder())
        removed += RemoveAbandonedIn(*temp);
    if (auto cache = CFileSystem::CacheFolder(false))
        removed += RemoveAbandonedIn(*cache);
    return removed;
}

int CWorkFolder::RemoveAbandonedIn(const std::string& parent)
{
    CDirectoryEnumerator entries(parent);
    std::string name;
    int removed = 0;
    while (entries.Next(name)) {
        if (!startsWith(name, kPrefix))
            continue;
        const std::string path = parent + "/" + name;
        struct stat st {};
        // Only our own real folders: never a symlink, never another user's.
        if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        if (startsWith(name, kPendingPrefix) && st.st_mtime > ::time(nullptr) - kPendingGraceSeconds)
            continue;
        const CUniqueFd fd = openFolder(path);
        if (!fd.IsOpen())
            continue;
        if (::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0) { // nobody holds it: its run is gone
            removeTree(path);
            ++removed;
        }
    }
    return removed;
}

} // namespace tq9
