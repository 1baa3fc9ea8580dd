#include "ui/Manual.h"

#include <filesystem>

namespace tq9 {

namespace fs = std::filesystem;

std::vector<std::string> CManual::Candidates(const std::string& fileName)
{
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (error)
        return {fileName};
    const fs::path manual = program.parent_path().parent_path() / "share/tq9-image-converter/manual";
    return {(manual / fileName).string()};
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
