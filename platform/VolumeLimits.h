// What a volume can hold: the largest single file, its free space, the unit files are allocated in, and
// whether it takes writes at all. The import checks them before converting and the shell file operations
// before writing, so what cannot fit is refused without leaving anything on the card.
//
// No state; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tq9 {

class CVolumeLimits {
public:
    // Largest file the volume holding folder accepts: 4 GiB - 1 on FAT (kernel vfat/msdos, or a FAT driver
    // through FUSE); exFAT has no such limit. Else pathconf's file-size bits when it knows more than
    // glibc's default answer of 32; UINT64_MAX when there is no limit or it cannot be told (a write past
    // a limit then fails with EFBIG, which the caller reports as too large).
    static uint64_t MaxFileSize(const std::string& folder);

    // The block the volume reports (the larger of statvfs's f_bsize and f_frsize; at least 1).
    static uint64_t BlockBytes(const std::string& folder);

    struct SpaceT {
        std::optional<uint64_t> freeBytes; // nullopt when the volume cannot tell (a FUSE driver without counts)
        uint64_t clusterBytes = 1;         // what one file takes at least, and the step its size grows in
        uint64_t maxFileSize = UINT64_MAX;
        bool writable = false;             // mounted read-write and the folder writable by us
    };
    // Everything above for the volume holding folder. The cluster is read from the boot sector of a FAT
    // or exFAT volume when its device or image can be read; a FAT driver through FUSE that cannot be
    // asked is taken to use 32 KiB clusters, the most a card's FAT uses, so an estimate errs on the safe
    // side.
    static SpaceT Space(const std::string& folder);
};

} // namespace tq9
