// What a volume can hold: the largest single file. The shell file operations check it before writing,
// so a copy that cannot fit is refused without leaving anything on the card.
//
// No state; any thread.
#pragma once

#include <cstdint>
#include <string>

namespace tq9 {

class CVolumeLimits {
public:
    // Largest file the volume holding folder accepts: 4 GiB - 1 on FAT (kernel vfat/msdos, or a FAT driver
    // through FUSE); exFAT has no such limit. Else pathconf's file-size bits when it knows more than
    // glibc's default answer of 32; UINT64_MAX when there is no limit or it cannot be told (a write past
    // a limit then fails with EFBIG, which the caller reports as too large).
    static uint64_t MaxFileSize(const std::string& folder);
};

} // namespace tq9
