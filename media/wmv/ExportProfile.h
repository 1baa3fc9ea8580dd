// What the WMV export writes for a recording: 6,000,000 bit/s wmv2 video at the recording's frame size,
// frame rate and display aspect, and wmav2 stereo sound at 44100 or 48000 Hz with the bit rate of the
// audio table's row for the recording's sound. The frame rate and the pixel shape are the probe's
// rationals, handed to the writer as they are.
//
// Plain functions over the reader's stream information; no state.
#pragma once

#include <cstdint>

#include "medialib/tq9media.h"

namespace tq9 {

class CExportProfile {
public:
    static constexpr int64_t kVideoBitRate = 6000000;

    // One row of the audio table (the same at 44100 and 48000 Hz): the first row whose threshold is 0 or
    // above the recording's audio bit rate is taken.
    struct AudioRow {
        uint32_t below;   // 0: no threshold
        uint32_t bitrate; // the WMV's sound, bit/s
    };
    static const AudioRow& ChooseAudioRow(int64_t audioBitRate);

    // The writer's settings for a recording with these streams. The sound arrives at its own rate and
    // channels and is written at the table's rate in stereo; square or unknown pixels declare no shape.
    static Tq9WriterSettings SettingsFor(const Tq9MediaStreamInfo& video, const Tq9MediaStreamInfo& audio);
};

} // namespace tq9
