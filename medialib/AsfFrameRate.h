// Internal to the media library: the frame rate of an ASF file's video stream, in the one place ASF has
// for it, the average time per frame of the stream's Extended Stream Properties object (MediaInfo and
// GStreamer take the rate from there and nowhere else). FFmpeg's ASF muxer writes that object only for a
// stream with a language, and always with an average time per frame of 0. So the writer gives its video
// stream a stand-in language, and once the file is finished FillAsfFrameRate puts the frame period into
// the object and turns the language list, which says nothing true, into a padding object. Every edit keeps
// the size of what it overwrites; a header not laid out as expected is left as it is.
#pragma once

#include <string>

#include "medialib/Ffmpeg.h"

namespace tq9media {

// The language the writer tags the video stream with so that the muxer writes the object.
inline constexpr const char* kAsfStandInLanguage = "eng";

// Edits the finished file at path: the object of ASF stream number streamNumber (1-based) gets the period
// of frameRate. False, with the file untouched, when the header is not what the muxer writes; throws
// MediaError when the edit cannot be written.
bool FillAsfFrameRate(const std::string& path, int streamNumber, AVRational frameRate);

} // namespace tq9media
