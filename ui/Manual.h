// Where the user manual is: the program's data folder, ../share/tq9-image-converter/manual from the folder
// the running program is in. That holds wherever the package or `cmake --install` put it, and in a build
// tree too (the build links that folder to the source tree's docs/manual). Never the current folder, and
// never /usr/share/doc, which minimal installations leave out.
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
