#include "platform/VolumeLimits.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "platform/FileSystem.h"

namespace tq9 {

namespace {

constexpr uint64_t kFatMaxFileSize = 0xFFFFFFFFull;
constexpr long kMsdosSuperMagic = 0x4d44;
constexpr long kFuseSuperMagic = 0x65735546;

struct MountT {
    std::string type;   // "vfat", "fuse.fusefat", "fuseblk", ...
    std::string source; // the device or image, as mounted
};

// The mount with this device number, from /proc/self/mountinfo (empty fields when unknown).
MountT mountOf(dev_t dev)
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
        MountT mount;
        tail >> mount.type >> mount.source;
        return mount;
    }
    return {};
}

bool isFatType(const std::string& type)
{
    return type.find("fat") != std::string::npos && type.find("exfat") == std::string::npos;
}

// Cluster size from a FAT or exFAT boot sector; 0 when source cannot be read or is neither.
uint64_t bootSectorCluster(const std::string& source)
{
    std::ifstream in(source, std::ios::binary);
    unsigned char sector[512] = {};
    if (source.empty() || source[0] != '/' || !in.read(reinterpret_cast<char*>(sector), sizeof sector))
        return 0;
    if (std::memcmp(sector + 3, "EXFAT   ", 8) == 0) {
        const unsigned shift = sector[108] + sector[109];
        return shift < 32 ? uint64_t {1} << shift : 0;
    }
    const unsigned bytesPerSector = sector[11] | (sector[12] << 8);
    const unsigned sectorsPerCluster = sector[13];
    const bool fat = sector[510] == 0x55 && sector[511] == 0xAA && bytesPerSector >= 512 &&
                     bytesPerSector <= 4096 && sectorsPerCluster != 0 &&
                     (sectorsPerCluster & (sectorsPerCluster - 1)) == 0;
    return fat ? uint64_t {bytesPerSector} * sectorsPerCluster : 0;
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
            if (isFatType(mountOf(st.st_dev).type))
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

uint64_t CVolumeLimits::BlockBytes(const std::string& folder)
{
    struct statvfs v {};
    if (::statvfs(folder.c_str(), &v) != 0)
        return 1;
    return std::max<uint64_t>({1, v.f_bsize, v.f_frsize});
}

CVolumeLimits::SpaceT CVolumeLimits::Space(const std::string& folder)
{
    SpaceT space;
    space.freeBytes = CFileSystem::FreeBytes(folder);
    space.maxFileSize = MaxFileSize(folder);
    space.clusterBytes = BlockBytes(folder);
    struct statvfs v {};
    space.writable = ::statvfs(folder.c_str(), &v) == 0 && !(v.f_flag & ST_RDONLY) && ::access(folder.c_str(), W_OK) == 0;
    struct statfs sfs {};
    struct stat st {};
    if (::statfs(folder.c_str(), &sfs) == 0 && sfs.f_type == kFuseSuperMagic && ::stat(folder.c_str(), &st) == 0) {
        // A FUSE driver's block need not be its cluster (fusefat counts 1 KiB blocks on 2 KiB clusters).
        const MountT mount = mountOf(st.st_dev);
        const uint64_t boot = bootSectorCluster(mount.source);
        if (boot != 0)
            space.clusterBytes = std::max(space.clusterBytes, boot);
        else if (isFatType(mount.type))
            space.clusterBytes = std::max<uint64_t>(space.clusterBytes, 32 * 1024);
    }
    return space;
}

} // namespace tq9
