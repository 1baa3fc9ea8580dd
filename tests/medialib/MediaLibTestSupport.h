// Helpers of the media library tests: running Transcode with a recording callback, the converters' exact
// argument vectors, synthesised inputs and output checks.
#pragma once

#include "support/TestSupport.h"
#include "medialib/tq9media.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tq9test {

struct MediaEvent {
    int kind = 0;
    int fileId = 0;
    int streamId = 0;
    int64_t value = 0;
    std::string text; // kind 12
};

struct TranscodeRun {
    int status = 0;
    std::vector<MediaEvent> events;
    int statusEvents = 0;
    int64_t statusValue = 0;
    double seconds = 0;
    std::vector<MediaEvent> Of(int kind) const;
    const MediaEvent* Find(int kind, int streamId) const;
};

// Runs Transcode with argv = "" + args. decide (optional) answers each event (0 go on, -1 stop); memo
// (optional) is handed to the run (TranscodeWithMemo).
TranscodeRun RunTranscode(const std::vector<std::string>& args,
    const std::function<int(const MediaEvent&)>& decide = {}, Tq9PictureMemo* memo = nullptr);

struct DeviceOptions {
    bool ntsc = true;
    bool letterbox = false;
    bool noAudio = false; // the source has no audio stream: "-f alaw -i NUL"
    int pass = 0; // 0 one pass; 1 or 2 two-pass
    std::string passLog;
    DeviceOptions& Pal() { ntsc = false; return *this; }
    DeviceOptions& Letterbox() { letterbox = true; return *this; }
    DeviceOptions& NoAudio(bool on = true) { noAudio = on; return *this; }
    DeviceOptions& Pass(int n, std::string log) { pass = n; passLog = std::move(log); return *this; }
};
// The vectors exactly as CFFMpegConverter builds them.
std::vector<std::string> DeviceArgs(const fs::path& src, const fs::path& dst, const DeviceOptions& o);
std::vector<std::string> AudioArgs(const fs::path& src, const fs::path& dst);
std::vector<std::string> FrameArgs(const fs::path& src, const fs::path& out, bool letterbox, bool seek5);

// Synthesised inputs (cached): a few seconds of lavfi testsrc and sine.
fs::path SynthVideoAudio(); // 7 s, 320x180 (16:9) H.264 30 fps + AAC 44.1 kHz mono, mp4
fs::path SynthVideoOnly(); // 3 s, 320x240 (4:3) H.264 yuv420p 25 fps, mp4
fs::path SynthAudioOnly(); // 3 s, 44.1 kHz stereo AAC in m4a
fs::path SynthSubtitleFirst(); // 2 s mkv: a subtitle stream, then H.264 video and AAC audio

// ffprobe fields as a map (key=value lines of tq9test::Probe).
std::map<std::string, std::string> ProbeFields(const fs::path& file, const std::string& entries,
    const std::string& select = "");
// Per-frame interlace flags of the first frames of the video: pairs (interlaced_frame, top_field_first).
std::vector<std::pair<int, int>> FrameFieldFlags(const fs::path& file, int frames);
// Luma of one picture row band (decoded with the ffmpeg tool): average of rows [y, y+h) of frame n.
double AverageLuma(const fs::path& file, int y, int h, int width);

} // namespace tq9test
