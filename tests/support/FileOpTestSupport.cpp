#include "FileOpTestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <sys/stat.h>

namespace tq9test {

std::string Blob(size_t size, int seed)
{
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 31 + (i >> 10) * 7 + static_cast<size_t>(seed) * 101) & 0xFF);
    return bytes;
}

std::vector<std::string> Names(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool HasTempName(const fs::path& folder)
{
    const std::string prefix = tq9::CShellFileOperation::kTempPrefix;
    for (const std::string& name : Names(folder)) {
        if (name.compare(0, prefix.size(), prefix) == 0)
            return true;
    }
    return false;
}

tq9::ShellFileOp TransferOp(uint32_t func, const fs::path& from, const fs::path& to,
                            const std::vector<std::string>& names)
{
    tq9::ShellFileOp op;
    op.func = func;
    op.flags = tq9::FOF_MULTIDESTFILES | tq9::FOF_RENAMEONCOLLISION;
    for (const std::string& name : names) {
        op.from.push_back((from / name).string());
        op.to.push_back((to / name).string());
    }
    return op;
}

OtherFileSystemDir::OtherFileSystemDir()
{
    struct stat shm {}, tmp {};
    if (::stat("/dev/shm", &shm) != 0 || ::stat(fs::temp_directory_path().c_str(), &tmp) != 0 ||
        shm.st_dev == tmp.st_dev) {
        m_skipReason = "no /dev/shm on a file system of its own";
        return;
    }
    char pattern[] = "/dev/shm/tq9test-XXXXXX";
    if (!::mkdtemp(pattern)) {
        m_skipReason = "cannot make a folder under /dev/shm";
        return;
    }
    m_path = pattern;
}

OtherFileSystemDir::~OtherFileSystemDir()
{
    std::error_code ec;
    if (!m_path.empty())
        fs::remove_all(m_path, ec);
}

} // namespace tq9test
