#include "platform/StagingName.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/DirectoryEnumerator.h"
#include "platform/FileIo.h"
#include "platform/FileSystem.h"
#include "platform/UniqueFd.h"

namespace tq9 {

namespace {

std::mutex g_lock;
std::set<std::string> g_inUse; // guarded by g_lock
std::atomic<uint64_t> g_sequence {0};

constexpr time_t kStaleAfterSeconds = 24 * 60 * 60;

bool startsWith(const std::string& s, const std::string& prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

bool endsWith(const std::string& s, const std::string& suffix)
{
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The pid in a staged name, or 0 when the name is not one of ours.
long ownerOf(const std::string& name)
{
    const std::string prefix = CStagingName::kPrefix;
    if (!startsWith(name, prefix))
        return 0;
    char* end = nullptr;
    errno = 0;
    const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
    if (errno != 0 || end == name.c_str() + prefix.size() || *end != '-' || pid <= 0 || pid > INT_MAX)
        return 0;
    return pid;
}

bool isLeftoverCopy(const std::string& folder, const std::string& name, long pid)
{
    const std::string path = folder + "/" + name;
    if (pid == ::getpid()) {
        std::lock_guard<std::mutex> guard(g_lock);
        return g_inUse.count(path) == 0;
    }
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
        return true;
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && st.st_mtime < ::time(nullptr) - kStaleAfterSeconds;
}

std::vector<std::string> readJournal(const std::string& path)
{
    std::vector<std::string> names;
    CUniqueFd fd(CFileIo::OpenRead(path));
    if (!fd.IsOpen())
        return names;
    std::string text;
    char block[CFileIo::kBlockSize];
    ssize_t got;
    while ((got = CFileIo::Read(fd.Get(), block, sizeof block)) > 0)
        text.append(block, static_cast<size_t>(got));
    fd.Close();
    if (got < 0)
        return {};
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\0', start);
        if (end == std::string::npos)
            break; // a journal cut short lists only what was written whole
        const std::string name = text.substr(start, end - start);
        if (!name.empty() && name.find('/') == std::string::npos && name != "." && name != "..")
            names.push_back(name);
        start = end + 1;
    }
    return names;
}

// An item whose media file (the first name) is on the card landed whole; otherwise its sidecars go.
void rollBackJournal(const std::string& folder, const std::string& journal)
{
    const std::vector<std::string> names = readJournal(folder + "/" + journal);
    struct stat st {};
    if (!names.empty() && ::lstat((folder + "/" + names[0]).c_str(), &st) != 0 && errno == ENOENT) {
        for (size_t k = 1; k < names.size(); ++k)
            CFileIo::Unlink(folder + "/" + names[k]);
    }
    CFileIo::Unlink(folder + "/" + journal);
}

} // namespace

CStagingName::CStagingName(const std::string& folder, const std::string& suffix)
    : m_path(folder + "/" + kPrefix + std::to_string(::getpid()) + "-" + std::to_string(++g_sequence) + suffix)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_inUse.insert(m_path);
}

CStagingName::~CStagingName()
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_inUse.erase(m_path);
}

int CStagingName::WriteJournal(const std::string& path, const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += name + '\0';
    CUniqueFd fd(CFileIo::CreateNew(path));
    if (!fd.IsOpen())
        return -1;
    int r = CFileIo::WriteAll(fd.Get(), text.data(), text.size()) < 0 ? -1 : CFileIo::Sync(fd.Get());
    int err = errno;
    if (fd.Close() != 0 && r == 0) {
        r = -1;
        err = errno;
    }
    if (r == 0 && CFileIo::SyncFolder(CFileSystem::FolderOf(path)) != 0) {
        r = -1;
        err = errno;
    }
    if (r != 0) {
        CFileIo::Unlink(path);
        errno = err;
    }
    return r;
}

void CStagingName::RemoveLeftovers(const std::string& folder)
{
    std::vector<std::string> journals, copies;
    {
        CDirectoryEnumerator entries(folder);
        std::string name;
        while (entries.Next(name)) {
            const long pid = ownerOf(name);
            if (pid == 0)
                continue;
            if (endsWith(name, kJournalSuffix))
                journals.push_back(name);
            else if (isLeftoverCopy(folder, name, pid))
                copies.push_back(name);
        }
    }
    for (const std::string& journal : journals)
        rollBackJournal(folder, journal);
    for (const std::string& copy : copies)
        CFileIo::Unlink(folder + "/" + copy);
}

} // namespace tq9
