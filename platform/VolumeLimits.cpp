#include "platform/VolumeLimits.h"

#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace tq9 {

namespace {

constexpr uint64_t kFatMaxFileSize = 0xFFFFFFFFull;
constexpr long kMsdosSuperMagic = 0x4d44;
constexpr long kFuseSuperMagic = 0x65735546;

// File-system type of the mount with this device number, from /proc/self/mountinfo ("" when unknown).
std::string mountType(dev_t dev)
{
    std::ifstream in("/proc/self/mountinfo");
    const std::string wanted = std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, device;
        if (!(fields >> id >> parent >> device) || device != wanted)
            continue;
        const size_t separator = line.find(" - ");
        if (separator == std::string::npos)
            continue;
        std::istringstream tail(line.substr(separator + 3));
        std::string type;
        tail >> type;
        return type;
    }
    return "";
}

} // namespace

uint64_t CVolumeLimits::MaxFileSize(const std::string& folder)
{
    struct statfs sfs {};
    if (::statfs(folder.c_str(), &sfs) != 0)
        return UINT64_MAX;
    if (sfs.f_type == kMsdosSuperMagic)
        return kFatMaxFileSize;
    if (sfs.f_type == kFuseSuperMagic) {
        // A FAT image through FUSE shows up as "fuse.fusefat" and the like; exFAT has no 4 GiB limit.
        struct stat st {};
        if (::stat(folder.c_str(), &st) == 0) {
            const std::string type = mountType(st.st_dev);
            if (type.find("fat") != std::string::npos && type.find("exfat") == std::string::npos)
                return kFatMaxFileSize;
        }
    }
    // glibc answers 32 for every file system it does not know (tmpfs among them), so only a larger answer
    // tells a real limit; anything else is found by the write itself (EFBIG).
    const long bits = ::pathconf(folder.c_str(), _PC_FILESIZEBITS);
    if (bits > 32 && bits < 64)
        return (uint64_t {1} << (bits - 1)) - 1;
    return UINT64_MAX;
}

} // namespace tq9
