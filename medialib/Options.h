// Internal to the media library: the ffmpeg-style argument vector of Transcode, parsed into a plan.
// Only the options the converters build are known (one table in Options.cpp); anything else is an error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/rational.h>
}

namespace tq9media {

struct InputSpec {
    std::string path;
    std::string format; // "-f" before "-i"; empty = probe the file
    bool silent = false; // "-f alaw -i NUL" after the first input: silence as long as the video
};

struct OutputSpec {
    std::string path; // empty = no output: the run is a probe
    std::string format; // "-f"
    std::string audioCodec; // "-acodec"
    std::string videoCodec; // "-vcodec"
    int64_t audioBitRate = 0; // "-ab", bit/s
    int64_t videoBitRate = 0; // "-b", bit/s
    int64_t bitRateTolerance = 0; // "-bt", bit/s
    int channels = 0; // "-ac"
    int sampleRate = 0; // "-ar"
    std::string codecFlags; // "-flags", e.g. "+ildct+ilme"
    int topFieldFirst = -1; // "-top": -1 as the source, 0 bottom first, 1 top first
    bool constantFrameRate = false; // "-vsync 1"
    int width = 0, height = 0; // "-s WxH": scale the picture (before "-vf")
    AVRational frameRate{0, 1}; // "-r"; 29.97 means 30000/1001
    std::string videoFilter; // "-vf", applied after the scaling
    int pass = 0; // "-pass 1|2"
    std::string passLogFile; // "-passlogfile": exactly this file
    int64_t startUs = 0; // "-ss" after the input: output seek, microseconds
    int64_t maxVideoFrames = -1; // "-vframes"
    bool noAudio = false; // "-an"
    bool noVideo = false; // "-vn"
};

struct Plan {
    std::vector<InputSpec> inputs;
    OutputSpec output;
    bool IsProbe() const { return output.path.empty(); }
};

// Parses argv[1..argc-1] (argv[0] is the empty program name). Throws MediaError(AVERROR(EINVAL)) for an
// unknown option, a missing or malformed value, no input, or more than one output.
Plan ParseArguments(int argc, const char* const* argv);

// "128k" -> 128000, "5000k" -> 5000000, "2M" -> 2000000; -1 if malformed.
int64_t ParseBitRate(const std::string& text);
// "29.97" -> 30000/1001, "25.00" -> 25/1, "30000/1001" as written; {0,0} if malformed.
AVRational ParseFrameRate(const std::string& text);
// "5", "5.5", "00:00:05" -> microseconds; -1 if malformed.
int64_t ParseTime(const std::string& text);

} // namespace tq9media
