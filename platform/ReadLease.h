// "Can this file be opened for reading while other writers are refused?" A file another program still
// writes must not be listed or moved yet.
#pragma once

#include <string>

namespace tq9 {

class CReadLease {
public:
    // True for a regular file that no process has open for writing. Uses a read lease where the file system
    // and the caller's rights allow one, and a plain open elsewhere.
    static bool CanReadExclusively(const std::string& path);
};

} // namespace tq9
