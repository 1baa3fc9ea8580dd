// The card's layout as the device writes it: ROOT/TQ-9 with a hidden marker file and numbered folders
// TQ9_0001 ... TQ9_0127; each media file has its ".thm" thumbnail and ".mrk" length sidecars beside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tq9 {

namespace layout {
inline constexpr const char* kDeviceFolder = "TQ-9";
inline constexpr const char* kMarkerSuffix = "/.TQ-9_SD.PRM";
inline constexpr const char* kNumberedFolderFormat = "TQ9_%04d";
inline constexpr int kFirstFolderNumber = 1;
inline constexpr int kLastFolderNumber = 127;
// Directory entries counted by the folder rule ("..", plus at most 127 sub-folders).
inline constexpr int kMaxCountedFolderEntries = 128;
inline constexpr int kMaxFilesPerFolder = 128;
} // namespace layout

class CCardLayout {
public:
    // root + "TQ-9" (a "/" is put between them unless root already ends with one).
    static std::string DeviceFolder(const std::string& root);
    static std::string MarkerPath(const std::string& deviceFolder);
    static std::string NumberedFolderName(int n);
    // folder + "/" + base + "." + ext, and the two sidecars of a media file.
    static std::string MediaPath(const std::string& folder, const std::string& base, const std::string& ext);
    static std::string ThumbnailPath(const std::string& folder, const std::string& base);
    static std::string MarkerFilePath(const std::string& folder, const std::string& base);

    // Whether a folder whose list shows `listed` media files takes `adding` more under the device's limit.
    static bool HasRoomFor(size_t listed, size_t adding);

    // A root is a card when ROOT/TQ-9 is a folder and its marker is a regular file with the hidden
    // attribute. Neither may be a link: what resolves elsewhere is not part of the card.
    static bool IsCard(const std::string& root);
    // The one rule for entries of a card, used by every front end: a folder of the device folder, a media
    // file or a sidecar belongs to the card only as a real folder or regular file, never through a link
    // (which could lead off the card) and never as a FIFO or device (which would block a reader).
    static bool IsCardFolderEntry(const std::string& path);
    static bool IsCardFileEntry(const std::string& path);

    // Thousands commas: 1234567 -> "1,234,567".
    static std::string GroupThousands(uint64_t value);
    // IDS_REMAINING_SPACE filled with the grouped free bytes of path's volume (0 when the query fails).
    static std::string RemainingSpaceText(const std::string& path);
    static std::string RemainingSpaceText(uint64_t freeBytes);

    // Big-endian seconds as the .mrk sidecar stores them.
    static void EncodeMarker(uint32_t seconds, unsigned char out[4]);
    static uint32_t DecodeMarker(const unsigned char in[4]);
};

} // namespace tq9
