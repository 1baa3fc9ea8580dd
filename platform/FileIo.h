// The one layer every copy loop of the program's own goes through (the converter's plain copy, the shell
// file operations, the duplication and export copies). Tests make its Nth call fail to see that no
// half-written file survives under a final name.
//
// Thread-safe: the call counter is atomic; the failure plan is set by tests before the code under test runs.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>

namespace tq9 {

class CFileIo {
public:
    // Thin wrappers over the POSIX calls: -1 with errno set on failure, EINTR retried.
    // Opens a regular file for reading (links followed). Never blocks on a FIFO or device: whatever is not
    // a regular file is refused with kNotRegularErrno.
    static int OpenRead(const std::string& path);
    // OpenRead that also refuses a link (ELOOP): for names on a card, which must not lead off it.
    static int OpenReadNoFollow(const std::string& path);
    // Opens an existing file for writing without creating or truncating it.
    static int OpenWriteExisting(const std::string& path);
    // Creates a new file (fails when it exists), mode 0666 less the umask.
    static int CreateNew(const std::string& path);
    static ssize_t Read(int fd, void* buffer, size_t size);
    // Writes all of size bytes or fails (a short write on a full disk is a failure with ENOSPC).
    static ssize_t WriteAll(int fd, const void* buffer, size_t size);
    static int Sync(int fd);
    static int Close(int fd);
    static int Rename(const std::string& from, const std::string& to);
    // Rename that refuses to replace an existing destination (renameat2 RENAME_NOREPLACE, with a link +
    // unlink fallback on file systems without it).
    static int RenameNoReplace(const std::string& from, const std::string& to);
    static int Unlink(const std::string& path);
    // Which regular file a name holds (a link is not followed), to tell later whether it still holds it.
    struct Identity {
        dev_t device = 0;
        ino_t inode = 0;
        bool operator==(const Identity&) const = default;
    };
    // The identity of the regular file at path; -1 with errno set (kNotRegularErrno for anything else).
    static int IdentityOf(const std::string& path, Identity& identity);
    // Unlink, but only while path still names the regular file identity says: in a folder that is not the
    // program's own, someone may have put their own file under that name since (ESTALE then).
    static int UnlinkIfSame(const std::string& path, const Identity& identity);
    // Gives out the access and modification times of in (a copy keeps its source's date). Not counted by
    // the test hooks below: a date that cannot be kept loses no data. 0 or -1 with errno set.
    static int CopyTimes(int in, int out);
    // The same by path: to takes from's times; to is not followed when it is a symlink.
    static int CopyTimes(const std::string& from, const std::string& to);
    // fsync of a folder, so a rename into it survives a power cut.
    static int SyncFolder(const std::string& folder);

    // errno of an open refused because the file is not a regular one.
    static constexpr int kNotRegularErrno = EINVAL;

    // Copy loops read and write in blocks of this size.
    static constexpr size_t kBlockSize = 1024;

    // The copy loop itself: reads in from its position to the end and writes each block to out.
    // afterBlock(bytesCopiedSoFar) runs after every block; returning false stops the copy there.
    // Returns 0 at the end of the input, 1 when afterBlock stopped it, -1 on a failure with errno set and
    // readFailed (when given) telling whether reading or writing failed.
    static int CopyBlocks(int in, int out, const std::function<bool(uint64_t)>& afterBlock,
                          bool* readFailed = nullptr);

    // Test hook: the Nth call (1-based, counted over every wrapper above from now on) fails with err.
    // 0 switches the plan off.
    static void FailNthCall(uint64_t n, int err);
    // Test hook: the process kills itself (SIGKILL) at the Nth call from now on, before making it, as a
    // power cut or kill -9 would stop it there. 0 switches the plan off.
    static void KillAtNthCall(uint64_t n);
    static uint64_t CallCount();
    static void ResetCallCount();
};

} // namespace tq9
