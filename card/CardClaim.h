// What tells an eject that a job of this program (the window or tq9, any process) uses a card: an import or
// copy into a card folder, or an export from one, holds a shared lock (flock) on the card's root folder for
// its whole run; an eject tries the exclusive lock and refuses while it cannot have it. The root, not the
// device folder: listing and numbering folders lock the device folder exclusively, and would wait on a job
// of their own process for its whole run.
//
// Owns the root folder's descriptor; one thread.
#pragma once

#include <string>

#include "platform/UniqueFd.h"

namespace tq9 {

class CCardClaim {
public:
    // Claims the card that holds cardFolder (a numbered folder; the claim is on its parent's parent). Nothing
    // is claimed when the folder cannot be opened: the job then fails on its own terms.
    explicit CCardClaim(const std::string& cardFolder);
    CCardClaim(const CCardClaim&) = delete;
    CCardClaim& operator=(const CCardClaim&) = delete;

    // True while some job holds a claim on the card whose root folder is cardRoot.
    static bool Claimed(const std::string& cardRoot);

private:
    CUniqueFd m_fd; // closing it releases the claim
};

} // namespace tq9
