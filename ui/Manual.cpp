#include "ui/Manual.h"

#include <filesystem>

// Set by the build (packaging/Install.cmake).
#ifndef TQ9_MANUAL_INSTALLED_DIR
#define TQ9_MANUAL_INSTALLED_DIR ""
#endif
#ifndef TQ9_MANUAL_SOURCE_DIR
#define TQ9_MANUAL_SOURCE_DIR ""
#endif

namespace tq9 {

std::vector<std::string> CManual::Candidates(const std::string& fileName)
{
    std::vector<std::string> paths;
    for (const char* dir : {TQ9_MANUAL_INSTALLED_DIR, TQ9_MANUAL_SOURCE_DIR})
        if (*dir)
            paths.push_back((std::filesystem::path(dir) / fileName).string());
    if (paths.empty())
        paths.push_back(fileName);
    return paths;
}

std::optional<std::string> CManual::Find(const std::string& fileName)
{
    for (const std::string& path : Candidates(fileName)) {
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error))
            return path;
    }
    return std::nullopt;
}

} // namespace tq9
