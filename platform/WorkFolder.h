// One private folder per import or export run in the temporary folder (or, for an export too big for it,
// in the program's cache folder), for every working file of the run (pass logs included): mode 0700,
// created exclusively as "tq9-work-<pid>-<6 random characters>", so no other user can plant a name or a
// symlink in it. The folder is locked (flock on the folder itself) for the object's lifetime.
//
// RemoveAbandoned, called at the start of both programs, deletes a folder only when everything says a run
// of ours left it: its name has exactly that form, it is our own real folder, the pid in its name runs no
// more and nobody holds its lock, and it holds nothing but regular files of ours that the caller's rule
// takes for working files. Anything else there (a sub-folder, a link, a file of another name) leaves the
// whole folder alone: a user's "tq9-work-notes" is none of ours.
//
// Owns the folder's descriptor; one thread at a time.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/UniqueFd.h"

namespace tq9 {

class CWorkFolder {
public:
    // Makes a fresh folder in the temporary folder (symlinks of its path resolved). nullptr with errno set
    // when there is no temporary folder or the folder cannot be made.
    static std::unique_ptr<CWorkFolder> Create();
    // The same in parent (the temporary folder or the cache folder).
    static std::unique_ptr<CWorkFolder> CreateIn(const std::string& parent);
    // Deletes the folder with everything in it.
    ~CWorkFolder();
    CWorkFolder(const CWorkFolder&) = delete;
    CWorkFolder& operator=(const CWorkFolder&) = delete;

    const std::string& Path() const { return m_path; }

    // Whether a file name is one a run writes in its folder.
    using FileRule = std::function<bool(const std::string& name)>;

    // Deletes the work folders in the temporary folder and the cache folder whose run has ended without
    // removing them (killed, crashed, power cut), by the rule above. Returns how many went.
    static int RemoveAbandoned(const FileRule& isWorkingFile);
    static int RemoveAbandonedIn(const std::string& parent, const FileRule& isWorkingFile);

    static constexpr const char* kPrefix = "tq9-work-";

private:
    CWorkFolder(std::string path, CUniqueFd fd) : m_path(std::move(path)), m_fd(std::move(fd)) {}

    std::string m_path;
    CUniqueFd m_fd; // the folder, open and locked
};

} // namespace tq9
