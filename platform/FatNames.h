// File names as FAT and exFAT cards see them: what they refuse, how long a name may be, and that they
// compare names without regard to letter case (the device reads FAT, so names are compared that way on
// every file system, not only where the kernel folds them).
//
// No state; any thread.
#pragma once

#include <set>
#include <string>

namespace tq9 {

class CFatNames {
public:
    // Longest name (bytes of UTF-8) a card takes.
    static constexpr size_t kMaxNameBytes = 255;

    // name with what a FAT or exFAT card refuses mapped to "_": the characters "*/:<>?\|, control
    // characters, bytes that are not UTF-8, and trailing dots and spaces. Cut to at most maxBytes at a
    // character boundary.
    static std::string CardSafe(const std::string& name, size_t maxBytes);

    // The form two names share when a card takes them for the same name (Unicode upper case).
    static std::string Fold(const std::string& name);

    // Folded names of a folder's entries; empty when it cannot be read.
    static std::set<std::string> FoldedListing(const std::string& folder);
};

} // namespace tq9
