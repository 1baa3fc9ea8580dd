// The one way the program writes an amount of bytes, in the file list, the status bar, the free space, the
// progress dialog and the messages: decimal units as the desktop's file managers use them, three figures
// from a kilobyte up ("512 B", "31.9 KB", "526 MB", "4.27 GB"). Thread-safe.
#pragma once

#include <cstdint>
#include <string>

namespace tq9 {

class CByteSize {
public:
    static std::string Text(uint64_t bytes);
};

} // namespace tq9
