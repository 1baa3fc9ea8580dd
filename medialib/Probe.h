// Internal to the media library: a probe, a Transcode run with an input and no output.
#pragma once

#include "medialib/Options.h"
#include "medialib/Reporter.h"

namespace tq9media {

// Opens the input and reports kind 12 (format name) and 1 (duration, ms) with stream id 0, then for each
// audio or video stream, numbered from 0 in container order (other streams take no number): 11 codec id,
// and 3 resolution, 4 DAR (when the sample aspect is known), 5 PAR, 6 bit rate, 13 rotation (when turned) for
// video, or 8 bit rate,
// 9 sample rate, 10 channels for audio. Throws MediaError when the file cannot be read as media.
void RunProbe(const InputSpec& input, Reporter& reporter);

} // namespace tq9media
