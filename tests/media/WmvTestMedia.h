// Tiny synthesised sources for the WMV export tests, cached in the build's test cache.
#pragma once

#include "support/TestSupport.h"

namespace tq9test {

// What the device records: MPEG-4 Part 2 video with MP3 audio in MP4, here 160x120 at 25 fps for 2 s
// with 48 kHz stereo sound.
inline fs::path DeviceClip()
{
    return SynthMedia("wmv-device.mp4",
                      {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=2", "-f", "lavfi", "-i",
                       "sine=frequency=440:sample_rate=48000:duration=2", "-ac", "2", "-c:v", "mpeg4", "-c:a",
                       "libmp3lame", "-b:a", "128k", "-shortest"});
}

// The device's frame, 720x480, with pixels of the given shape (8/9: 4:3 on screen; 32/27: 16:9), 0.4 s.
inline fs::path ShapedDeviceClip(const std::string& sar)
{
    std::string name = "wmv-device-sar" + sar + ".mp4";
    name[name.find('/')] = '-';
    return SynthMedia(name, {"-f", "lavfi", "-i", "testsrc=size=720x480:rate=30000/1001:duration=0.4", "-f", "lavfi",
                             "-i", "sine=sample_rate=48000:duration=0.4", "-vf", "setsar=" + sar, "-c:v", "mpeg4",
                             "-c:a", "libmp3lame", "-shortest"});
}

// The device's form with 32 kHz mono sound (1 s), which the WMV carries at 44100 Hz stereo.
inline fs::path MonoDeviceClip()
{
    return SynthMedia("wmv-device-mono32k.mp4",
                      {"-f", "lavfi", "-i", "testsrc=size=96x64:rate=10:duration=1", "-f", "lavfi", "-i",
                       "sine=frequency=440:sample_rate=32000:duration=1", "-ac", "1", "-c:v", "mpeg4", "-c:a",
                       "libmp3lame", "-b:a", "64k", "-shortest"});
}

// Video of 1 s with 2 s of 44.1 kHz sound and a second sound stream that must not be taken.
inline fs::path ClipWithThirdStream()
{
    return SynthMedia("wmv-three-streams.mp4",
                      {"-f", "lavfi", "-i", "testsrc=size=96x64:rate=10:duration=1", "-f", "lavfi", "-i",
                       "sine=frequency=440:sample_rate=44100:duration=2", "-f", "lavfi", "-i",
                       "sine=frequency=880:sample_rate=22050:duration=2", "-map", "0:v", "-map", "1:a", "-map", "2:a",
                       "-c:v", "mpeg4", "-c:a", "libmp3lame"});
}

// A long device-form recording (200 s, 64x48 at 5 fps, 32 kHz mono sound) with its index at the front, as
// a recording cut short keeps it: a cut copy still opens and declares the whole length.
inline fs::path LongDeviceClip()
{
    return SynthMedia("wmv-long-indexed.mp4",
                      {"-f", "lavfi", "-i", "testsrc=size=64x48:rate=5:duration=200", "-f", "lavfi", "-i",
                       "sine=frequency=440:sample_rate=32000:duration=200", "-ac", "1", "-c:v", "mpeg4", "-b:v", "16k",
                       "-c:a", "libmp3lame", "-b:a", "32k", "-shortest", "-movflags", "+faststart"});
}

// The first percent of a file's bytes, as a recording ends when the battery runs flat.
inline fs::path CutCopy(const fs::path& source, int percent, const fs::path& to)
{
    const std::string bytes = ReadFile(source);
    WriteFile(to, bytes.substr(0, bytes.size() * static_cast<size_t>(percent) / 100));
    return to;
}

inline fs::path ClipWithoutAudio()
{
    return SynthMedia("wmv-silent.mp4", {"-f", "lavfi", "-i", "testsrc=size=96x64:rate=10:duration=1", "-c:v",
                                         "mpeg4", "-an"});
}

} // namespace tq9test
