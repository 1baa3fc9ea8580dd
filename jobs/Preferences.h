// The user's saved preferences: QSettings of organisation "Zentri", application "TQ-9 Image Converter",
// group "Preference", with the integer entries "NTSC" (default 1), "PAL" (0), "LetterBox" (0) and
// "2pass" (0). Shared by the GUI (start-up, Setup dialog) and tq9.
//
// Any thread; each call opens its own QSettings.
#pragma once

#include <string>

#include "media/ConversionSettings.h"

namespace tq9 {

class CPreferences {
public:
    // Entry names.
    static constexpr const char* kNTSC = "NTSC";
    static constexpr const char* kPAL = "PAL";
    static constexpr const char* kLetterBox = "LetterBox";
    static constexpr const char* kTwoPass = "2pass";

    // The stored value of name, or defaultValue when it is missing or not a number.
    static int Read(const std::string& name, int defaultValue);
    static void Write(const std::string& name, int value);
    // "NTSC", "LetterBox" and "2pass" with their defaults: the three values the import job uses ("PAL"
    // never reaches it).
    static ConversionSettings ReadImport();
};

} // namespace tq9
