#include "MediaLibTestSupport.h"

#include <chrono>
#include <sstream>

namespace tq9test {

namespace {

struct Recorder {
    TranscodeRun* run;
    const std::function<int(const MediaEvent&)>* decide;
};

int Record(void* user, int kind, int fileId, int streamId, int64_t value)
{
    auto* r = static_cast<Recorder*>(user);
    MediaEvent e{kind, fileId, streamId, value, {}};
    if (kind == TQ9_EVENT_FORMAT_INFO && value)
        e.text = reinterpret_cast<const char*>(static_cast<intptr_t>(value));
    if (kind == TQ9_EVENT_STATUS) {
        ++r->run->statusEvents;
        r->run->statusValue = value;
    }
    r->run->events.push_back(e);
    return *r->decide ? (*r->decide)(e) : 0;
}

} // namespace

std::vector<MediaEvent> TranscodeRun::Of(int kind) const
{
    std::vector<MediaEvent> out;
    for (const auto& e : events)
        if (e.kind == kind)
            out.push_back(e);
    return out;
}

const MediaEvent* TranscodeRun::Find(int kind, int streamId) const
{
    for (const auto& e : events)
        if (e.kind == kind && e.streamId == streamId)
            return &e;
    return nullptr;
}

TranscodeRun RunTranscode(const std::vector<std::string>& args, const std::function<int(const MediaEvent&)>& decide,
    Tq9PictureMemo* memo)
{
    TranscodeRun run;
    Recorder rec{&run, &decide};
    std::vector<const char*> argv{""};
    for (const auto& a : args)
        argv.push_back(a.c_str());
    auto t0 = std::chrono::steady_clock::now();
    run.status = TranscodeWithMemo(memo, &Record, &rec, static_cast<int>(argv.size()), argv.data());
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return run;
}

std::vector<std::string> DeviceArgs(const fs::path& src, const fs::path& dst, const DeviceOptions& o)
{
    std::vector<std::string> a{"-i", src.string()};
    if (o.noAudio)
        a.insert(a.end(), {"-f", "alaw", "-i", "NUL"});
    a.insert(a.end(), {"-acodec", "libmp3lame", "-ab", "128k", "-ac", "2", "-ar", "48000"});
    a.insert(a.end(), {"-vcodec", "mpeg4", "-flags", "+ildct+ilme", "-top", "1", "-b", "5000k", "-bt", "1000k",
                          "-vsync", "1"});
    const int height = o.ntsc ? 480 : 576;
    a.insert(a.end(), {"-s", o.letterbox ? "720x405" : "720x" + std::to_string(height), "-r", o.ntsc ? "29.97" : "25.00"});
    if (o.letterbox)
        a.insert(a.end(), {"-vf", "pad=720:" + std::to_string(height) + ":0:" + std::to_string((height - 405) >> 1) + ":black"});
    a.insert(a.end(), {"-f", "mp4"});
    if (o.pass)
        a.insert(a.end(), {"-pass", std::to_string(o.pass), "-passlogfile", o.passLog});
    a.push_back(dst.string());
    return a;
}

std::vector<std::string> AudioArgs(const fs::path& src, const fs::path& dst)
{
    return {"-i", src.string(), "-acodec", "libmp3lame", "-ab", "128k", "-ac", "2", "-ar", "48000", "-vn", "-f", "mp3",
        dst.string()};
}

std::vector<std::string> FrameArgs(const fs::path& src, const fs::path& out, bool letterbox, bool seek5)
{
    std::vector<std::string> a{"-i", src.string(), "-s", letterbox ? "48x27" : "48x36"};
    if (seek5)
        a.insert(a.end(), {"-ss", "5"});
    if (letterbox)
        a.insert(a.end(), {"-vf", "pad=48:36:0:4:black"});
    a.insert(a.end(), {"-vframes", "1", "-an", "-vcodec", "bmp", "-f", "image2", out.string()});
    return a;
}

fs::path SynthVideoAudio()
{
    return SynthMedia("ml-va-320x180.mp4", {"-f", "lavfi", "-i", "testsrc=s=320x180:r=30:d=7", "-f", "lavfi", "-i",
                                               "sine=f=440:d=7", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-preset",
                                               "ultrafast", "-c:a", "aac", "-shortest"});
}

fs::path SynthVideoOnly()
{
    return SynthMedia("ml-v-320x240.mp4", {"-f", "lavfi", "-i", "testsrc=s=320x240:r=25:d=3", "-c:v", "libx264",
                                              "-pix_fmt", "yuv420p", "-preset", "ultrafast"});
}

fs::path SynthAudioOnly()
{
    return SynthMedia("ml-a-stereo.m4a", {"-f", "lavfi", "-i", "sine=f=440:d=3", "-ac", "2", "-c:a", "aac"});
}

fs::path SynthSubtitleFirst()
{
    TempDir tmp;
    WriteFile(tmp / "s.srt", "1\n00:00:00,000 --> 00:00:01,000\nhello\n");
    return SynthMedia("ml-sub-first.mkv",
        {"-i", (tmp / "s.srt").string(), "-f", "lavfi", "-i", "testsrc=s=320x180:r=25:d=2", "-f", "lavfi", "-i",
            "sine=d=2", "-map", "0", "-map", "1", "-map", "2", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac",
            "-c:s", "srt"});
}

std::map<std::string, std::string> ProbeFields(const fs::path& file, const std::string& entries, const std::string& select)
{
    std::map<std::string, std::string> out;
    std::istringstream in(Probe(file, entries, select));
    std::string line;
    while (std::getline(in, line)) {
        auto eq = line.find('=');
        if (eq != std::string::npos && !out.count(line.substr(0, eq)))
            out[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return out;
}

std::vector<std::pair<int, int>> FrameFieldFlags(const fs::path& file, int frames)
{
    ProcessResult r = RunProcess({"ffprobe", "-v", "error", "-select_streams", "v", "-read_intervals",
        "%+#" + std::to_string(frames), "-show_entries", "frame=interlaced_frame,top_field_first", "-of", "csv=p=0",
        file.string()});
    std::vector<std::pair<int, int>> out;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        int a = -1, b = -1;
        if (std::sscanf(line.c_str(), "%d,%d", &a, &b) == 2)
            out.emplace_back(a, b);
    }
    return out;
}

double AverageLuma(const fs::path& file, int y, int h, int width)
{
    ProcessResult r = RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-i", file.string(), "-frames:v", "1", "-vf",
        "crop=" + std::to_string(width) + ":" + std::to_string(h) + ":0:" + std::to_string(y) + ",format=gray", "-f",
        "rawvideo", "-"});
    if (r.out.empty())
        return -1;
    double sum = 0;
    for (unsigned char c : r.out)
        sum += c;
    return sum / static_cast<double>(r.out.size());
}

} // namespace tq9test
