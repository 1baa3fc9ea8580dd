// One private folder per import or export run in the temporary folder (or, for an export too big for it,
// in the program's cache folder), for every working file of the run (pass logs included): mode 0700, created exclusively, so no other user can plant a name or a symlink in it.
// The folder is locked (flock on the folder itself) for the object's lifetime; a folder whose lock can be
// taken belongs to a run that is gone, and RemoveAbandoned, called at the start of both programs, deletes
// it. A lock outlives no process, so a killed run's folder is found on the next start whatever its pid.
//
// Owns the folder's descriptor; one thread at a time.
#pragma once

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

    // Deletes the work folders in the temporary folder and the cache folder whose run has ended without
    // removing them (killed, crashed, power cut). Returns how many went.
    static int RemoveAbandoned();
    static int RemoveAbandonedIn(const std::string& parent);

    static constexpr const char* kPrefix = "tq9-work-";

private:
    CWorkFolder(std::string path, CUniqueFd fd) : m_path(std::move(path)), m_fd(std::move(fd)) {}

    std::string m_path;
    CUniqueFd m_fd; // the folder, open and locked
};

} // namespace tq9
