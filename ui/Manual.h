// Where the user manual is: the places are fixed when the program is built (its installed documentation
// folder, then the source tree it was built from), never the current folder. UI thread or any.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tq9 {

class CManual {
public:
    // The manual's possible paths for a file name, in the order they are tried.
    static std::vector<std::string> Candidates(const std::string& fileName);
    // The first candidate that exists; nullopt when none does.
    static std::optional<std::string> Find(const std::string& fileName);
};

} // namespace tq9
