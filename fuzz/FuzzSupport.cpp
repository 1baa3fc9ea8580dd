#include "FuzzSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace tq9fuzz {

namespace {

std::string g_folder;

void removeFolder()
{
    std::error_code ec;
    std::filesystem::remove_all(g_folder, ec);
}

} // namespace

const std::string& Folder()
{
    if (g_folder.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tq9-fuzz-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            std::abort();
        g_folder = pattern;
        std::atexit(removeFolder);
    }
    return g_folder;
}

std::string WriteInput(const std::string& name, const uint8_t* data, size_t size)
{
    const std::string path = Folder() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

} // namespace tq9fuzz
