// Small file systems mounted for one test (a size-limited tmpfs, FAT and exFAT images through FUSE), unmounted and
// removed when the object dies, also when the test fails. Mounting needs root and, for FAT, /dev/fuse,
// fusefat and mkfs.vfat (for exFAT a loop device, mkfs.exfat and exfat-fuse); the factories say why not in skipReason so the test can GTEST_SKIP with it.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tq9test {

class ScratchMount {
public:
    // tmpfs with the given size option ("1m", "512k").
    static std::unique_ptr<ScratchMount> Tmpfs(const std::string& size, std::string& skipReason);
    // A fresh FAT image of sizeMiB formatted with mkfs.vfat and mounted read-write with fusefat;
    // clusterKiB 0 takes mkfs.vfat's choice.
    static std::unique_ptr<ScratchMount> FatImage(int sizeMiB, std::string& skipReason, int clusterKiB = 0);
    // A fresh exFAT image of sizeMiB (mkfs.exfat) on a loop device, mounted with exfat-fuse.
    static std::unique_ptr<ScratchMount> ExfatImage(int sizeMiB, std::string& skipReason);
    // A fresh ext4 image of sizeMiB (mkfs.ext4) on a loop device, mounted by the kernel.
    static std::unique_ptr<ScratchMount> Ext4Image(int sizeMiB, std::string& skipReason);

    ~ScratchMount();
    ScratchMount(const ScratchMount&) = delete;
    ScratchMount& operator=(const ScratchMount&) = delete;

    const std::filesystem::path& Path() const { return m_mountPoint; }
    const std::string& LoopDevice() const { return m_loopDevice; }
    // Remounts a tmpfs with other options ("ro", "rw"); false on failure.
    bool Remount(const std::string& options);
    // A FAT image: unmounts it, lets change edit the image file, and mounts it again read-only; false when
    // a step fails.
    bool ChangeFatImage(const std::function<bool(const std::filesystem::path& image)>& change);

private:
    ScratchMount() = default;
    // Checks for root and makes the folder with an empty mount point.
    static std::unique_ptr<ScratchMount> Create(std::string& skipReason);
    // Create plus an image of sizeMiB formatted by mkfs (the image path is appended), once /dev/fuse and
    // every tool are there.
    static std::unique_ptr<ScratchMount> Format(int sizeMiB, const std::vector<std::string>& tools,
                                                std::vector<std::string> mkfs, std::string& skipReason);

    // Puts the image on a free loop device (m_loopDevice); false with the reason when there is none.
    bool AttachLoop(std::string& skipReason);

    std::filesystem::path m_folder;     // holds the mount point and the image
    std::filesystem::path m_mountPoint;
    std::filesystem::path m_image; // FAT and exFAT
    bool m_mounted = false;
    std::string m_loopDevice; // detached after the unmount
};

} // namespace tq9test

// Declares var as the mount a ScratchMount factory call makes, or skips the test with the factory's reason;
// the call names that reason `why`: TQ9_MOUNT_OR_SKIP(card, Tmpfs("1m", why));
#define TQ9_MOUNT_OR_SKIP(var, call)                                                                          \
    std::string var##SkipReason;                                                                               \
    auto var = [&] {                                                                                           \
        std::string& why = var##SkipReason;                                                                    \
        return ::tq9test::ScratchMount::call;                                                                  \
    }();                                                                                                       \
    if (!var)                                                                                                  \
        GTEST_SKIP() << var##SkipReason
