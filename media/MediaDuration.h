// A media file's length from its container, without transcoding anything: what the import's card
// check needs to estimate its results before it converts.
//
// No state; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tq9 {

class CMediaDuration {
public:
    // Milliseconds, or nullopt when the file cannot be opened as media or does not tell its length.
    static std::optional<int64_t> Milliseconds(const std::string& path);
};

} // namespace tq9
