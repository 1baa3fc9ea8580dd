#include "platform/ShellFileOperation.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "platform/DirectoryEnumerator.h"
#include "platform/FileAttributes.h"
#include "platform/FileIo.h"
#include "platform/FileSystem.h"
#include "platform/VolumeLimits.h"

namespace tq9 {

namespace {


std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Name without its extension; a leading dot does not start an extension (".hidden" has none).
std::string stemOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    return (dot == std::string::npos || dot <= start) ? path.substr(start) : path.substr(start, dot - start);
}

bool exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Temporary names this process is writing right now: a clean-up of leftovers must not take them.
std::mutex g_tempLock;
std::set<std::string> g_tempInUse;
std::atomic<uint64_t> g_tempSequence {0};

// A temporary name in a destination folder, registered as in use for the object's lifetime.
class TempName {
public:
    explicit TempName(const std::string& folder)
        : m_path(folder + "/" + CShellFileOperation::kTempPrefix + std::to_string(::getpid()) + "-" +
                 std::to_string(++g_tempSequence))
    {
        std::lock_guard<std::mutex> guard(g_tempLock);
        g_tempInUse.insert(m_path);
    }
    ~TempName()
    {
        std::lock_guard<std::mutex> guard(g_tempLock);
        g_tempInUse.erase(m_path);
    }
    TempName(const TempName&) = delete;
    TempName& operator=(const TempName&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// A card written by another machine may carry a leftover whose pid now belongs to some unrelated process
// here; no copy of ours takes this long.
constexpr time_t kStaleAfterSeconds = 24 * 60 * 60;

// A leftover is a temporary name of a process that no longer runs, one of ours nobody is writing, or one
// untouched for a day.
bool isStaleTemp(const std::string& folder, const std::string& name)
{
    const std::string prefix = CShellFileOperation::kTempPrefix;
    if (name.compare(0, prefix.size(), prefix) != 0)
        return false;
    char* end = nullptr;
    errno = 0;
    const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
    if (errno != 0 || end == name.c_str() + prefix.size() || *end != '-' || pid <= 0 || pid > INT_MAX)
        return false;
    const std::string path = folder + "/" + name;
    if (pid == ::getpid()) {
        std::lock_guard<std::mutex> guard(g_tempLock);
        return g_tempInUse.count(path) == 0;
    }
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
        return true;
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && st.st_mtime < ::time(nullptr) - kStaleAfterSeconds;
}

void removeStaleTemps(const std::string& folder)
{
    CDirectoryEnumerator entries(folder);
    std::string name;
    while (entries.Next(name)) {
        if (isStaleTemp(folder, name))
            CFileIo::Unlink(folder + "/" + name); // best effort: the next run tries again
    }
}

enum class Side { Source, Destination };

// errno of a failed step -> result code (see the header's table).
int codeFor(int err, Side side)
{
    switch (err) {
    case ENOENT:
        return side == Side::Source ? DE_INVALIDFILES : ErrnoCode(err);
    case EACCES:
    case EPERM:
        return side == Side::Source ? DE_ACCESSDENIEDSRC : ErrnoCode(err);
    case EFBIG:
        return DE_FILE_TOO_LARGE;
    case ENAMETOOLONG:
        return DE_FILENAMETOOLONG;
    case 0:
        return ErrnoCode(EIO);
    default:
        return ErrnoCode(err);
    }
}

// Copies from into the new file temp (hidden while written) and flushes it; afterBlock returning false
// stops it with stopped set. The caller removes temp on failure.
int copyIntoTemp(const std::string& from, const std::string& temp, const std::function<bool(uint64_t)>& afterBlock,
                 bool& stopped)
{
    stopped = false;
    const int in = CFileIo::OpenRead(from);
    if (in < 0)
        return codeFor(errno, Side::Source);
    const int out = CFileIo::CreateNew(temp);
    if (out < 0) {
        const int err = errno;
        CFileIo::Close(in);
        return codeFor(err, Side::Destination);
    }
    CFileAttributes::SetFatHidden(temp, true);

    int code = 0;
    bool readFailed = false;
    if (int copied = CFileIo::CopyBlocks(in, out, afterBlock, &readFailed); copied < 0) {
        code = codeFor(errno, readFailed ? Side::Source : Side::Destination);
    } else if (copied == 1) {
        stopped = true;
        code = DE_OPCANCELLED;
    }
    if (code == 0 && CFileIo::Sync(out) != 0)
        code = codeFor(errno, Side::Destination);
    if (CFileIo::Close(out) != 0 && code == 0)
        code = codeFor(errno, Side::Destination);
    CFileIo::Close(in); // a failed close of the reading side loses nothing
    if (code == 0)
        CFileAttributes::SetFatHidden(temp, false);
    return code;
}

// One file of a move or copy.
struct Plan {
    std::string from;
    std::string to;
    std::string folder; // destination folder
    uint64_t size = 0;
    bool copy = false; // false: a rename on one file system
};

class Runner {
public:
    explicit Runner(ShellFileOp& op) : m_op(op) {}

    int Transfer();
    int Delete();

private:
    int planAll(std::vector<Plan>& plans) const;
    int checkVolumes(const std::vector<Plan>& plans) const;
    int runGroup(std::vector<Plan>& plans, size_t first, size_t end);
    int place(Plan& plan, size_t index, int& n, const std::function<int(int)>& nextN);
    int writeTemp(const Plan& plan, const std::string& temp);
    int pickFreeN(const std::vector<Plan>& plans, size_t first, size_t end, int start) const;
    std::string nameFor(const std::string& to, int n) const
    {
        return n <= 1 ? to : CShellFileOperation::CollisionName(to, n);
    }
    bool renameOnCollision() const { return (m_op.flags & FOF_RENAMEONCOLLISION) != 0; }
    bool cancelled() const { return m_op.cancel != nullptr && m_op.cancel->load(); }
    int cancel()
    {
        m_op.anyOperationsAborted = true;
        return DE_OPCANCELLED;
    }

    ShellFileOp& m_op;
};

int Runner::planAll(std::vector<Plan>& plans) const
{
    for (size_t i = 0; i < m_op.from.size(); ++i) {
        Plan p;
        p.from = m_op.from[i];
        p.to = m_op.to[i];
        if (p.from.empty() || p.to.empty())
            return DE_INVALIDFILES;
        struct stat src {};
        if (::stat(p.from.c_str(), &src) != 0)
            return codeFor(errno, Side::Source);
        if (S_ISDIR(src.st_mode))
            return ErrnoCode(EISDIR);
        p.folder = folderOf(p.to);
        if (!CFileAttributes::IsDirectory(p.folder))
            return DE_INVALIDFILES;
        struct stat dst {};
        if (::stat(p.to.c_str(), &dst) == 0 && dst.st_dev == src.st_dev && dst.st_ino == src.st_ino)
            return DE_SAMEFILE;
        p.size = static_cast<uint64_t>(src.st_size);
        p.copy = m_op.func == FO_COPY || !CFileSystem::SameFileSystem(p.from, p.folder);
        // A rename needs no read access; a copy does, and finding out up front writes nothing.
        if (p.copy && ::access(p.from.c_str(), R_OK) != 0)
            return codeFor(errno, Side::Source);
        plans.push_back(std::move(p));
    }
    return 0;
}

// Refuses up front, writing nothing, when a copy exceeds its volume's largest file or all copies to one
// volume exceed its free space (sizes rounded up to the volume's allocation unit).
int Runner::checkVolumes(const std::vector<Plan>& plans) const
{
    struct Need {
        std::string folder;
        uint64_t bytes = 0;
    };
    std::map<dev_t, Need> needs;
    for (const Plan& p : plans) {
        if (!p.copy)
            continue;
        if (p.size > CVolumeLimits::MaxFileSize(p.folder))
            return DE_FILE_TOO_LARGE;
        struct stat st {};
        struct statvfs vfs {};
        if (::stat(p.folder.c_str(), &st) != 0 || ::statvfs(p.folder.c_str(), &vfs) != 0)
            return codeFor(errno, Side::Destination);
        const uint64_t unit = vfs.f_frsize ? vfs.f_frsize : 1;
        Need& need = needs[st.st_dev];
        need.folder = p.folder;
        need.bytes += (p.size + unit - 1) / unit * unit;
    }
    for (const auto& [dev, need] : needs) {
        const auto free = CFileSystem::FreeBytes(need.folder);
        if (free && need.bytes > *free)
            return ErrnoCode(ENOSPC);
    }
    return 0;
}

// The smallest n >= start at which every destination of the group is free (n = 1: the names as given).
int Runner::pickFreeN(const std::vector<Plan>& plans, size_t first, size_t end, int start) const
{
    if (!renameOnCollision())
        return 1;
    for (int n = start;; ++n) {
        bool free = true;
        for (size_t k = first; k < end && free; ++k)
            free = !exists(nameFor(plans[k].to, n));
        if (free)
            return n;
    }
}

// Files that follow each other with one destination folder and stem (clip.mp4, clip.thm, clip.mrk) are a
// group: a collision renames all of them with the same number, so the sidecars keep the media's name.
int Runner::runGroup(std::vector<Plan>& plans, size_t first, size_t end)
{
    int groupN = pickFreeN(plans, first, end, 1);
    for (size_t k = first; k < end; ++k) {
        int n = groupN;
        const bool leader = k == first;
        auto next = [&](int current) {
            return leader ? pickFreeN(plans, first, end, current + 1) : current + 1;
        };
        if (int code = place(plans[k], k, n, next))
            return code;
        if (leader)
            groupN = n;
    }
    return 0;
}

// Puts one file under its final name (the n-th collision name, moving on with nextN while names are
// taken) and records where it went.
int Runner::place(Plan& plan, size_t index, int& n, const std::function<int(int)>& nextN)
{
    if (cancelled())
        return cancel();

    if (!plan.copy) {
        for (;;) {
            const std::string target = nameFor(plan.to, n);
            if (CFileIo::RenameNoReplace(plan.from, target) == 0) {
                m_op.done[index] = target;
                return CFileIo::SyncFolder(plan.folder) == 0 ? 0 : codeFor(errno, Side::Destination);
            }
            const int err = errno;
            if (err == EEXIST && renameOnCollision()) {
                n = nextN(n);
                continue;
            }
            if (err == EXDEV) { // a bind mount of the same file system: copy instead
                plan.copy = true;
                return place(plan, index, n, nextN);
            }
            // The destination folder was checked; a missing name now is the source's.
            return codeFor(err, err == ENOENT ? Side::Source : Side::Destination);
        }
    }

    TempName temp(plan.folder);
    if (int code = writeTemp(plan, temp.path())) {
        CFileIo::Unlink(temp.path());
        return code;
    }
    for (;;) {
        const std::string target = nameFor(plan.to, n);
        if (CFileIo::RenameNoReplace(temp.path(), target) == 0) {
            m_op.done[index] = target;
            break;
        }
        const int err = errno;
        if (err == EEXIST && renameOnCollision()) {
            n = nextN(n);
            continue;
        }
        CFileIo::Unlink(temp.path());
        return codeFor(err, Side::Destination);
    }
    if (CFileIo::SyncFolder(plan.folder) != 0)
        return codeFor(errno, Side::Destination);
    // The source goes only now that its copy is complete and durable under its final name.
    if (m_op.func == FO_MOVE && CFileIo::Unlink(plan.from) != 0)
        return codeFor(errno, Side::Source);
    return 0;
}

// Copies the source into the temporary name and flushes it. The caller removes the temporary file on
// failure.
int Runner::writeTemp(const Plan& plan, const std::string& temp)
{
    if (cancelled())
        return cancel();
    bool stopped = false;
    const int code = copyIntoTemp(plan.from, temp, [this](uint64_t) { return !cancelled(); }, stopped);
    return stopped ? cancel() : code;
}

int Runner::Transfer()
{
    if (m_op.to.size() != m_op.from.size())
        return DE_MANYSRC1DEST;
    m_op.done.assign(m_op.from.size(), std::string());

    std::vector<Plan> plans;
    if (int code = planAll(plans))
        return code;
    if (int code = checkVolumes(plans))
        return code;

    std::set<std::string> folders;
    for (const Plan& p : plans) {
        if (folders.insert(p.folder).second)
            removeStaleTemps(p.folder);
    }

    for (size_t first = 0; first < plans.size();) {
        size_t end = first + 1;
        while (end < plans.size() && plans[end].folder == plans[first].folder &&
               stemOf(plans[end].to) == stemOf(plans[first].to))
            ++end;
        if (int code = runGroup(plans, first, end))
            return code;
        first = end;
    }
    return 0;
}

int Runner::Delete()
{
    // Every name must be a file before anything goes, so a bad list deletes nothing.
    for (const std::string& path : m_op.from) {
        struct stat st {};
        if (path.empty())
            return DE_INVALIDFILES;
        if (::lstat(path.c_str(), &st) != 0)
            return codeFor(errno, Side::Source);
        if (S_ISDIR(st.st_mode))
            return ErrnoCode(EISDIR);
    }
    for (const std::string& path : m_op.from) {
        if (cancelled())
            return cancel();
        if (CFileIo::Unlink(path) != 0)
            return codeFor(errno, Side::Source);
        m_op.done.push_back(path);
    }
    return 0;
}

} // namespace

int CShellFileOperation::Run(ShellFileOp& op)
{
    op.anyOperationsAborted = false;
    op.done.clear();
    Runner runner(op);
    switch (op.func) {
    case FO_MOVE:
    case FO_COPY:
        return runner.Transfer();
    case FO_DELETE:
        return runner.Delete();
    default:
        return ErrnoCode(EINVAL);
    }
}

std::string CShellFileOperation::ErrorName(int code)
{
    static const std::map<int, const char*> kNames = {
        {DE_SAMEFILE, "DE_SAMEFILE"},
        {DE_MANYSRC1DEST, "DE_MANYSRC1DEST"},
        {DE_DIFFDIR, "DE_DIFFDIR"},
        {DE_ROOTDIR, "DE_ROOTDIR"},
        {DE_OPCANCELLED, "DE_OPCANCELLED"},
        {DE_DESTSUBTREE, "DE_DESTSUBTREE"},
        {DE_ACCESSDENIEDSRC, "DE_ACCESSDENIEDSRC"},
        {DE_PATHTOODEEP, "DE_PATHTOODEEP"},
        {DE_MANYDEST, "DE_MANYDEST"},
        {DE_INVALIDFILES, "DE_INVALIDFILES"},
        {DE_DESTSAMETREE, "DE_DESTSAMETREE"},
        {DE_FLDDESTISFILE, "DE_FLDDESTISFILE"},
        {DE_FILEDESTISFLD, "DE_FILEDESTISFLD"},
        {DE_FILENAMETOOLONG, "DE_FILENAMETOOLONG"},
        {DE_DEST_IS_CDROM, "DE_DEST_IS_CDROM"},
        {DE_DEST_IS_DVD, "DE_DEST_IS_DVD"},
        {DE_DEST_IS_CDRECORD, "DE_DEST_IS_CDRECORD"},
        {DE_FILE_TOO_LARGE, "DE_FILE_TOO_LARGE"},
        {DE_SRC_IS_CDROM, "DE_SRC_IS_CDROM"},
        {DE_SRC_IS_DVD, "DE_SRC_IS_DVD"},
        {DE_SRC_IS_CDRECORD, "DE_SRC_IS_CDRECORD"},
        {DE_ERROR_MAX, "DE_ERROR_MAX"},
        {ERRORONDEST, "ERRORONDEST"},
        {DE_ROOTDIR | ERRORONDEST, "DE_ROOTDIR | ERRORONDEST"},
    };
    if (code > kErrnoCodeBase && code < kErrnoCodeBase + 4096) {
        const char* name = ::strerrorname_np(code - kErrnoCodeBase);
        return name ? name : "";
    }
    const auto it = kNames.find(code);
    return it == kNames.end() ? std::string() : it->second;
}

int CShellFileOperation::CopyOver(const std::string& from, const std::string& to,
                                  const std::function<bool(uint64_t)>& afterBlock)
{
    const std::string folder = folderOf(to);
    TempName temp(folder);
    bool stopped = false;
    if (int code = copyIntoTemp(from, temp.path(), afterBlock, stopped)) {
        CFileIo::Unlink(temp.path());
        return code;
    }
    if (CFileIo::Rename(temp.path(), to) != 0) {
        const int err = errno;
        CFileIo::Unlink(temp.path());
        return codeFor(err, Side::Destination);
    }
    return CFileIo::SyncFolder(folder) == 0 ? 0 : codeFor(errno, Side::Destination);
}

std::string CShellFileOperation::CollisionName(const std::string& path, int n)
{
    const size_t slash = path.rfind('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    const std::string suffix = " (" + std::to_string(n) + ")";
    if (dot == std::string::npos || dot <= start)
        return path + suffix;
    return path.substr(0, dot) + suffix + path.substr(dot);
}

} // namespace tq9
