// Opens a file or folder with the desktop's program for it (xdg-open), and tells the user when there is none:
// at once when the desktop has no opener at all, and by a message when the opener then finds no program for
// the type. UI thread only.
#pragma once

#include <functional>
#include <string>

namespace tq9 {

class COpenFile {
public:
    // False when the desktop cannot open it (no opener, no desktop at all). When the opener reports a moment
    // later that no program takes the type, a message says so (IDS_NO_PROGRAM_TO_OPEN).
    static bool Open(const std::string& path);
    // Tests put a recorder in place of the desktop; an empty hook restores it.
    using Hook = std::function<bool(const std::string& path)>;
    static void SetHook(Hook hook);
};

} // namespace tq9
