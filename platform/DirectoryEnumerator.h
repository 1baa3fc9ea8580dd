// Enumerates one folder in the file system's own order (no sorting), "." and ".." included, as the
// folder-counting rules expect.
#pragma once

#include <dirent.h>
#include <string>

namespace tq9 {

class CDirectoryEnumerator {
public:
    explicit CDirectoryEnumerator(const std::string& folder);
    ~CDirectoryEnumerator();
    CDirectoryEnumerator(const CDirectoryEnumerator&) = delete;
    CDirectoryEnumerator& operator=(const CDirectoryEnumerator&) = delete;

    // False when the folder could not be opened.
    bool IsOpen() const { return m_dir != nullptr; }
    // Next entry name; false at the end or on an error (Failed() tells which).
    bool Next(std::string& name);
    bool Failed() const { return m_error != 0; }
    int Error() const { return m_error; }

private:
    DIR* m_dir = nullptr;
    int m_error = 0;
};

} // namespace tq9
