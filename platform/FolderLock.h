// An exclusive lock on a folder (flock on the folder itself), held while names are picked and files
// renamed into it, so two processes placing files into one card folder cannot both take a name that
// looked free. Works where the file system has no no-replace rename (FAT through FUSE): the kernel keeps
// the lock, not the file system. Descriptors are locked independently, so two threads of one process
// exclude each other too.
//
// Owns the folder's descriptor; one thread.
#pragma once

#include <string>

#include "platform/UniqueFd.h"

namespace tq9 {

class CFolderLock {
public:
    // Blocks until the lock is held; Locked() is false (errno set) when the folder cannot be opened.
    explicit CFolderLock(const std::string& folder);

    bool Locked() const { return m_fd.IsOpen(); }

private:
    CUniqueFd m_fd; // closing it releases the lock
};

} // namespace tq9
