// An exclusive lock on a folder (flock on the folder itself), held while names are picked and files
// renamed into it, so two processes placing files into one card folder cannot both take a name that
// looked free. Works where the file system has no no-replace rename (FAT through FUSE): the kernel keeps
// the lock, not the file system. Descriptors are locked independently, so two threads of one process
// exclude each other too.
//
// Owns the folder's descriptor; one thread.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "platform/UniqueFd.h"

namespace tq9 {

class CFolderLock {
public:
    // Takes the lock, waiting while another run holds it. waiting (when set) hears the folder when the wait
    // starts and "" when it ends; stop (when set) is asked every kPollInterval and ends the wait. Locked() is
    // false with errno set when the folder cannot be opened, ECANCELED when stop ended the wait and
    // ETIMEDOUT after kMaxWait.
    explicit CFolderLock(const std::string& folder, const std::function<bool()>& stop = {},
                         const std::function<void(const std::string&)>& waiting = {});

    bool Locked() const { return m_fd.IsOpen(); }

    static constexpr std::chrono::milliseconds kPollInterval {100};
    // A copy of a few GiB onto a slow card holds the lock for minutes; an hour means a stuck holder.
    static constexpr std::chrono::minutes kMaxWait {60};

private:
    CUniqueFd m_fd; // closing it releases the lock
};

} // namespace tq9
