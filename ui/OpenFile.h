// Opens a file with the desktop's default application for its type. UI thread only.
#pragma once

#include <functional>
#include <string>

namespace tq9 {

class COpenFile {
public:
    // False when the desktop cannot open it (no application for the type, no desktop at all).
    static bool Open(const std::string& path);
    // Tests put a recorder in place of the desktop; an empty hook restores it.
    using Hook = std::function<bool(const std::string& path)>;
    static void SetHook(Hook hook);
};

} // namespace tq9
