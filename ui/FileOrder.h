// The order of the file list's rows: by one column, ascending or descending. Names compare in natural
// order (clip2 before clip10), duration, size and date by their values; ties fall back to the name so that
// the order never depends on the folder's enumeration. Any thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tq9 {

class CFileOrder {
public:
    // column: the file list's column index (name, duration, size, date). stop, when given and true, skips
    // the files' values that are left (the order is then moot).
    static void Sort(std::vector<std::string>& paths, int column, bool descending,
                     const std::function<bool()>& stop = {});
};

} // namespace tq9
