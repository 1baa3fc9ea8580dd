// The media files of one card folder as the file list shows them, and the texts of their rows.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tq9 {

class CCardFolder {
public:
    // Full paths of the listable media files of folder in enumeration order: files no other program is
    // writing, with a card extension, whose record is valid. nullopt when the folder cannot be opened.
    // busy, when given, counts the media files left out only because another program is still writing them.
    // stop, when given, is asked before each entry: true ends the listing there with the files so far (a
    // listing nobody waits for any more gives up on a slow card instead of reading to the end).
    static std::optional<std::vector<std::string>> ListMediaFiles(const std::string& folder,
                                                                  size_t* busy = nullptr,
                                                                  const std::function<bool()>& stop = {});
    static bool IsListableFile(const std::string& path);
    // Whether folder takes one more media item under the device's limit, counting the files another
    // program is still writing; true when the folder cannot be read (the write then tells why).
    static bool TakesAnotherItem(const std::string& folder);

    // Row texts of the file list.
    static std::string NameText(const std::string& path);
    // "%02d:%02d:%02d" from the .mrk sidecar's seconds (00:00:00 without one); "--:--:--" beyond
    // kMaxShownSeconds, far past anything a card holds (4 GB of 128 kbit/s sound is 75 hours).
    static std::string DurationText(const std::string& path);
    static std::string DurationText(uint32_t seconds);
    static constexpr uint32_t kMaxShownSeconds = 999 * 3600 + 59 * 60 + 59;
    // The program's size rule (CByteSize): "31.9 KB".
    static std::string SizeText(uint64_t bytes);
    static std::string SizeTextOf(const std::string& path);
    // Local last-write time "%Y/%m/%d %H:%M:%S"; empty when it cannot be formatted.
    static std::string DateText(std::time_t when);
    static std::string DateTextOf(const std::string& path);
};

} // namespace tq9
