// Small file systems mounted for one test (a size-limited tmpfs, a FAT image through FUSE), unmounted and
// removed when the object dies, also when the test fails. Mounting needs root and, for FAT, /dev/fuse,
// fusefat and mkfs.vfat; the factories say why not in skipReason so the test can GTEST_SKIP with it.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace tq9test {

class ScratchMount {
public:
    // tmpfs with the given size option ("1m", "512k").
    static std::unique_ptr<ScratchMount> Tmpfs(const std::string& size, std::string& skipReason);
    // A fresh FAT image of sizeMiB formatted with mkfs.vfat and mounted read-write with fusefat.
    static std::unique_ptr<ScratchMount> FatImage(int sizeMiB, std::string& skipReason);

    ~ScratchMount();
    ScratchMount(const ScratchMount&) = delete;
    ScratchMount& operator=(const ScratchMount&) = delete;

    const std::filesystem::path& path() const { return m_mountPoint; }
    // Remounts a tmpfs with other options ("ro", "rw"); false on failure.
    bool Remount(const std::string& options);

private:
    ScratchMount() = default;
    // Checks for root and makes the folder with an empty mount point.
    static std::unique_ptr<ScratchMount> Create(std::string& skipReason);

    std::filesystem::path m_folder;     // holds the mount point and the image
    std::filesystem::path m_mountPoint;
    bool m_mounted = false;
};

} // namespace tq9test
