#include "platform/ItemPlacement.h"

#include <cerrno>
#include <climits>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "platform/FatNames.h"
#include "platform/FileAttributes.h"
#include "platform/FileIo.h"
#include "platform/FileSystem.h"
#include "platform/FolderLock.h"
#include "platform/StagingName.h"
#include "platform/UniqueFd.h"
#include "platform/VolumeLimits.h"

namespace tq9 {

namespace {

// Name without its extension; a leading dot does not start an extension (".hidden" has none).
std::string stemOf(const std::string& path)
{
    const std::string name = CFileSystem::NameOf(path);
    const size_t dot = name.rfind('.');
    return (dot == std::string::npos || dot == 0) ? name : name.substr(0, dot);
}

enum class Side { Source, Destination };

// Name collisions met after the name was seen free, before an item gives up.
constexpr int kMaxRenameAttempts = 64;

int codeFor(int err, Side side)
{
    return CShellFileOperation::CodeFor(err, side == Side::Source);
}

// One file of an item.
struct Part {
    size_t index = 0;  // in the request
    std::string from;
    std::string to;
    uint64_t size = 0;
    bool copy = false; // false: a rename on one file system
    // Where the file waits under a hidden name of the destination folder before it gets its final one:
    // a flushed copy, or the source itself renamed there, so a cut-short run can always be finished.
    std::unique_ptr<CStagingName> staged;
    std::string landed;                   // the final name once renamed
};

class Placer {
public:
    explicit Placer(ShellFileOp& op) : m_op(op) {}
    int Run();

private:
    int PlaceItem(const std::vector<size_t>& entries);
    int Plan(size_t index, Part& part) const;
    int CheckCapacity(const std::vector<Part>& parts, const std::string& folder) const;
    int Stage(Part& part);
    int StageByRename(Part& part);
    int Rename(std::vector<Part>& parts, const std::string& folder);
    int PickNumber(const std::vector<Part>& parts, const std::string& folder, int start, int& n) const;
    void RollBack(std::vector<Part>& parts);
    std::string NameFor(const std::string& to, int n) const
    {
        if (n <= 1)
            return to;
        return m_op.collisionName ? m_op.collisionName(to, n) : CShellFileOperation::CollisionName(to, n);
    }
    bool Cancelled() const
    {
        return (m_op.cancel != nullptr && m_op.cancel->load()) || (m_op.stopRequested && m_op.stopRequested());
    }
    int Cancel()
    {
        m_op.anyOperationsAborted = true;
        return DE_OPCANCELLED;
    }

    ShellFileOp& m_op;
};

// Items in request order: the caller's numbering, or runs of files with one folder and stem. Without a
// numbering, a name the item already has (as a card compares names: "tune.mp3", "tune.MP3") starts the
// next item, so one name given twice makes two results instead of an item that can never land.
std::vector<std::vector<size_t>> itemsOf(const ShellFileOp& op)
{
    std::vector<std::vector<size_t>> items;
    std::set<std::string> names; // of the current item, folded
    for (size_t i = 0; i < op.from.size(); ++i) {
        bool sameItem = false;
        const std::string folded = CFatNames::Fold(CFileSystem::NameOf(op.to[i]));
        if (i > 0 && op.item.size() == op.from.size())
            sameItem = op.item[i] == op.item[i - 1];
        else if (i > 0)
            sameItem = CFileSystem::FolderOf(op.to[i]) == CFileSystem::FolderOf(op.to[i - 1]) &&
                       stemOf(op.to[i]) == stemOf(op.to[i - 1]) && names.count(folded) == 0;
        if (!sameItem) {
            items.emplace_back();
            names.clear();
        }
        items.back().push_back(i);
        names.insert(folded);
    }
    return items;
}

int Placer::Run()
{
    if (m_op.to.size() != m_op.from.size())
        return DE_MANYSRC1DEST;
    m_op.done.assign(m_op.from.size(), std::string());
    m_op.results.assign(m_op.from.size(), 0);
    int first = 0;
    for (const std::vector<size_t>& entries : itemsOf(m_op)) {
        const int code = Cancelled() ? Cancel() : PlaceItem(entries);
        for (size_t index : entries)
            m_op.results[index] = code;
        if (code != 0 && first == 0)
            first = code;
    }
    return first;
}

int Placer::Plan(size_t index, Part& p) const
{
    p.index = index;
    p.from = m_op.from[index];
    p.to = m_op.to[index];
    if (p.from.empty() || p.to.empty())
        return DE_INVALIDFILES;
    struct stat src {};
    if (::stat(p.from.c_str(), &src) != 0)
        return codeFor(errno, Side::Source);
    if (S_ISDIR(src.st_mode))
        return ErrnoCode(EISDIR);
    // A FIFO or device would block the copy or never end it.
    if (!S_ISREG(src.st_mode))
        return ErrnoCode(CFileIo::kNotRegularErrno);
    if (!CFileAttributes::IsDirectory(CFileSystem::FolderOf(p.to)))
        return DE_INVALIDFILES;
    // A copy that renames on collision never replaces its destination, so copying a file onto its own
    // name makes a second one.
    struct stat dst {};
    const bool replaces = !(m_op.func == FO_COPY && (m_op.flags & FOF_RENAMEONCOLLISION));
    if (replaces && ::stat(p.to.c_str(), &dst) == 0 && dst.st_dev == src.st_dev && dst.st_ino == src.st_ino)
        return DE_SAMEFILE;
    p.size = static_cast<uint64_t>(src.st_size);
    p.copy = m_op.func == FO_COPY || !CFileSystem::SameFileSystem(p.from, CFileSystem::FolderOf(p.to));
    // A rename needs no read access; a copy does, and finding out up front writes nothing.
    if (p.copy && ::access(p.from.c_str(), R_OK) != 0)
        return codeFor(errno, Side::Source);
    return 0;
}

// Refuses the item, writing nothing, when a copy exceeds the volume's largest file or the item's copies
// exceed its free space (sizes rounded up to the volume's block).
int Placer::CheckCapacity(const std::vector<Part>& parts, const std::string& folder) const
{
    uint64_t need = 0;
    const uint64_t unit = CVolumeLimits::BlockBytes(folder);
    for (const Part& p : parts) {
        if (!p.copy)
            continue;
        if (p.size > CVolumeLimits::MaxFileSize(folder))
            return DE_FILE_TOO_LARGE;
        need += (p.size + unit - 1) / unit * unit;
    }
    const auto free = CFileSystem::FreeBytes(folder);
    return free && need > *free ? ErrnoCode(ENOSPC) : 0;
}

// Copies the source into a staged name and flushes it.
int Placer::Stage(Part& p)
{
    p.staged = std::make_unique<CStagingName>(CFileSystem::FolderOf(p.to));
    if (Cancelled())
        return Cancel();
    bool stopped = false;
    const auto afterBlock = [this, &p](uint64_t copied) {
        return !Cancelled() && (!m_op.afterBlock || m_op.afterBlock(p.index, copied));
    };
    const int code = CItemPlacement::WriteStaged(p.from, p.staged->Path(), afterBlock, stopped);
    return stopped ? Cancel() : code;
}

// Renames the source into a staged name (a move on one file system).
int Placer::StageByRename(Part& p)
{
    p.staged = std::make_unique<CStagingName>(CFileSystem::FolderOf(p.to));
    if (Cancelled())
        return Cancel();
    if (CFileIo::RenameNoReplace(p.from, p.staged->Path()) == 0)
        return 0;
    const int err = errno;
    p.staged.reset();
    return err == EXDEV ? ErrnoCode(EXDEV) : codeFor(err, err == ENOENT ? Side::Source : Side::Destination);
}

// The smallest n >= start at which no file of the item would meet a name in the folder, compared as a
// card compares names (n = 1: the names as given).
int Placer::PickNumber(const std::vector<Part>& parts, const std::string& folder, int start, int& n) const
{
    const std::set<std::string> taken = CFatNames::FoldedListing(folder);
    // Two files of one item under one name could never both land, whatever the number.
    std::set<std::string> own;
    for (const Part& p : parts) {
        if (!own.insert(CFatNames::Fold(CFileSystem::NameOf(p.to))).second)
            return ErrnoCode(EEXIST);
    }
    // Each number either is free or is taken by a name in the listing, so the search ends.
    for (n = start;; ++n) {
        bool free = true;
        for (const Part& p : parts)
            free = free && taken.count(CFatNames::Fold(CFileSystem::NameOf(NameFor(p.to, n)))) == 0;
        if (free)
            return 0;
        if (!(m_op.flags & FOF_RENAMEONCOLLISION))
            return ErrnoCode(EEXIST);
    }
}

// Step 2 of the header: under the lock, the item's files get their final names, media file last.
int Placer::Rename(std::vector<Part>& parts, const std::string& folder)
{
    for (int start = 1, attempt = 0;; ++attempt) {
        // Another writer that ignores the lock can take each name we pick; it does not get to keep us here.
        if (attempt == kMaxRenameAttempts)
            return ErrnoCode(EEXIST);
        if (Cancelled())
            return Cancel();
        int n = 1;
        if (int code = PickNumber(parts, folder, start, n))
            return code;
        std::vector<std::string> names;
        std::vector<CStagingName::JournalEntry> entries;
        for (const Part& p : parts) {
            names.push_back(CFileSystem::NameOf(NameFor(p.to, n)));
            // A collision number can push a name past the limit; no journal may hold such a name.
            if (names.back().size() > NAME_MAX)
                return DE_FILENAMETOOLONG;
            entries.push_back({CFileSystem::NameOf(p.staged->Path()), names.back()});
        }
        CStagingName journal(folder, CStagingName::kJournalSuffix);
        if (CStagingName::WriteJournal(journal.Path(), entries) != 0)
            return codeFor(errno, Side::Destination);

        int code = 0;
        bool collided = false;
        for (size_t k = 1; k <= parts.size() && code == 0; ++k) {
            Part& p = parts[k % parts.size()]; // the sidecars, then the media file
            const std::string target = folder + "/" + names[k % parts.size()];
            const std::string& source = p.staged->Path();
            if (CFileIo::RenameNoReplace(source, target) == 0) {
                p.landed = target;
                continue;
            }
            const int err = errno;
            // Someone that does not take the lock wrote the name meanwhile: try the next number.
            collided = err == EEXIST && (m_op.flags & FOF_RENAMEONCOLLISION);
            code = err == EXDEV ? ErrnoCode(EXDEV) : codeFor(err, err == ENOENT ? Side::Source : Side::Destination);
        }
        if (code == 0 && CFileIo::SyncFolder(folder) != 0)
            code = codeFor(errno, Side::Destination);
        if (code != 0)
            RollBack(parts);
        // The journal goes once the item is whole or rolled back; one retry, as a leftover journal only
        // costs the next run a look.
        if (CFileIo::Unlink(journal.Path()) != 0)
            CFileIo::Unlink(journal.Path());
        if (!collided)
            return code;
        start = n + 1;
    }
}

void Placer::RollBack(std::vector<Part>& parts)
{
    for (Part& p : parts) {
        if (p.landed.empty())
            continue;
        // Back where it came from, so a retry under another number still has it; what cannot go back
        // must not stay on the card as part of a half item (it is the file this run just renamed there).
        if (CFileIo::RenameNoReplace(p.landed, p.staged->Path()) != 0)
            CFileIo::Unlink(p.landed);
        p.landed.clear();
    }
}

int Placer::PlaceItem(const std::vector<size_t>& entries)
{
    std::vector<Part> parts(entries.size());
    for (size_t k = 0; k < entries.size(); ++k) {
        if (int code = Plan(entries[k], parts[k]))
            return code;
    }
    const std::string folder = CFileSystem::FolderOf(parts[0].to);
    for (const Part& p : parts) {
        if (CFileSystem::FolderOf(p.to) != folder)
            return DE_DIFFDIR;
    }

    // The lock covers the copies too: a FAT driver through FUSE has been seen to mix up the entries of one
    // folder when two processes create files in it at once.
    CFolderLock lock(folder, [this] { return Cancelled(); }, m_op.lockWait);
    if (!lock.Locked())
        return errno == ECANCELED ? Cancel() : codeFor(errno, Side::Destination);
    if (m_op.clearLeftovers)
        CStagingName::RemoveLeftovers(folder);
    // The folder's limits are checked only now: another run may have filled it while this one waited.
    if (int code = CheckCapacity(parts, folder))
        return code;
    if (int code = m_op.admit ? m_op.admit(folder) : 0)
        return code;

    int code = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        for (size_t k = 0; k < parts.size() && code == 0; ++k) {
            code = parts[k].copy ? Stage(parts[k]) : StageByRename(parts[k]);
        }
        if (code == 0)
            code = Cancelled() ? Cancel() : Rename(parts, folder);
        for (Part& p : parts) {
            // A renamed source goes back where it was; a copy of ours goes.
            if (p.staged && p.landed.empty() && CFileAttributes::Exists(p.staged->Path())) {
                if (p.copy)
                    CFileIo::Unlink(p.staged->Path());
                else
                    CFileIo::RenameNoReplace(p.staged->Path(), p.from);
            }
            p.staged.reset();
        }
        // A bind mount of one file system refuses renames across it: copy instead.
        if (code != ErrnoCode(EXDEV))
            break;
        code = 0;
        for (Part& p : parts)
            p.copy = true;
    }
    if (code != 0)
        return code;
    for (const Part& p : parts)
        m_op.done[p.index] = p.landed;
    // The sources of a move go only now that their copies are complete and durable under final names.
    if (m_op.func == FO_MOVE) {
        for (const Part& p : parts) {
            if (p.copy && CFileIo::Unlink(p.from) != 0)
                return codeFor(errno, Side::Source);
        }
    }
    return 0;
}

} // namespace

int CItemPlacement::WriteStaged(const std::string& from, const std::string& staged,
                                const std::function<bool(uint64_t)>& afterBlock, bool& stopped)
{
    stopped = false;
    CUniqueFd in(CFileIo::OpenRead(from));
    if (!in.IsOpen())
        return codeFor(errno, Side::Source);
    CUniqueFd out(CFileIo::CreateNew(staged));
    if (!out.IsOpen()) {
        const int err = errno;
        in.Close();
        return codeFor(err, Side::Destination);
    }
    CFileAttributes::SetFatHidden(staged, true);

    int code = 0;
    bool readFailed = false;
    if (int copied = CFileIo::CopyBlocks(in.Get(), out.Get(), afterBlock, &readFailed); copied < 0) {
        code = codeFor(errno, readFailed ? Side::Source : Side::Destination);
    } else if (copied == 1) {
        stopped = true;
        code = DE_OPCANCELLED;
    }
    if (code == 0)
        CFileIo::CopyTimes(in.Get(), out.Get()); // a copy keeps its source's date, as a file manager's does
    if (code == 0 && CFileIo::Sync(out.Get()) != 0)
        code = codeFor(errno, Side::Destination);
    if (out.Close() != 0 && code == 0)
        code = codeFor(errno, Side::Destination);
    in.Close(); // a failed close of the reading side loses nothing
    if (code == 0)
        CFileAttributes::SetFatHidden(staged, false);
    return code;
}

int CItemPlacement::Transfer(ShellFileOp& op)
{
    Placer placer(op);
    return placer.Run();
}

} // namespace tq9
