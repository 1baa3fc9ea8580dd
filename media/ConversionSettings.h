// The preference flags the import job hands to the converters and to the still conversion. Values come
// from the "Preference" settings group; the defaults are the settings' defaults.
#pragma once

namespace tq9 {

struct ConversionSettings {
    int NTSC = 1;      // non-zero: NTSC (720x480, 29.97), zero: PAL (720x576, 25)
    int LetterBox = 0; // non-zero: 16:9 sources are letterboxed into the 4:3 frame
    int TwoPass = 0;   // the "2pass" preference; read by the import job, not by the converter
};

} // namespace tq9
