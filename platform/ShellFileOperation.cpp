#include "platform/ShellFileOperation.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <sys/stat.h>

#include "platform/FileIo.h"
#include "platform/ItemPlacement.h"

namespace tq9 {

namespace {

int deleteFiles(ShellFileOp& op)
{
    // Every name must be a file before anything goes, so a bad list deletes nothing.
    for (const std::string& path : op.from) {
        struct stat st {};
        if (path.empty())
            return DE_INVALIDFILES;
        if (::lstat(path.c_str(), &st) != 0)
            return CShellFileOperation::CodeFor(errno, true);
        if (S_ISDIR(st.st_mode))
            return ErrnoCode(EISDIR);
    }
    for (const std::string& path : op.from) {
        if (op.cancel != nullptr && op.cancel->load()) {
            op.anyOperationsAborted = true;
            return DE_OPCANCELLED;
        }
        if (CFileIo::Unlink(path) != 0)
            return CShellFileOperation::CodeFor(errno, true);
        op.done.push_back(path);
    }
    return 0;
}

} // namespace

int CShellFileOperation::Run(ShellFileOp& op)
{
    op.anyOperationsAborted = false;
    op.done.clear();
    switch (op.func) {
    case FO_MOVE:
    case FO_COPY:
        return CItemPlacement::Transfer(op);
    case FO_DELETE:
        return deleteFiles(op);
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
        {DE_OPCANCELLED, "DE_OPCANCELLED"},
        {DE_ACCESSDENIEDSRC, "DE_ACCESSDENIEDSRC"},
        {DE_INVALIDFILES, "DE_INVALIDFILES"},
        {DE_FILENAMETOOLONG, "DE_FILENAMETOOLONG"},
        {DE_FILE_TOO_LARGE, "DE_FILE_TOO_LARGE"},
    };
    if (code > kErrnoCodeBase && code < kErrnoCodeBase + 4096) {
        const char* name = ::strerrorname_np(code - kErrnoCodeBase);
        return name ? name : "";
    }
    const auto it = kNames.find(code);
    return it == kNames.end() ? std::string() : it->second;
}

int CShellFileOperation::CodeFor(int err, bool onSource)
{
    switch (err) {
    case ENOENT:
        return onSource ? DE_INVALIDFILES : ErrnoCode(err);
    case EACCES:
    case EPERM:
        return onSource ? DE_ACCESSDENIEDSRC : ErrnoCode(err);
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
