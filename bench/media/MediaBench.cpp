// Media library benchmark: Transcode against the ffmpeg tools doing the same job on the same input.
//
//   bench_media [--reps N] [--seconds S] [--cache DIR]
//
// Every measurement is a fresh process (this program re-executed with --run for the library, the ffmpeg or
// ffprobe tool for the reference), so both sides pay start-up and library loading alike; wall time, CPU
// time and peak resident memory come from wait4(). Runs alternate between the two sides and the median is
// reported, with the ratio library / tool (below 1.0: the library is faster or smaller).
#include "medialib/tq9media.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Args = std::vector<std::string>;

struct Sample {
    double wall = 0; // seconds
    double cpu = 0; // user + system seconds
    long peakKb = 0;
    int exitCode = -1;
};

Sample Measure(const Args& argv)
{
    Sample s;
    auto t0 = std::chrono::steady_clock::now();
    pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> a;
        for (const auto& x : argv)
            a.push_back(const_cast<char*>(x.c_str()));
        a.push_back(nullptr);
        ::execvp(a[0], a.data());
        _exit(127);
    }
    int status = 0;
    struct rusage ru {};
    ::wait4(pid, &status, 0, &ru);
    s.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    s.cpu = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
    s.peakKb = ru.ru_maxrss;
    s.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return s;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : (v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2);
}

struct Result {
    std::vector<double> wall, cpu;
    long peakKb = 0;
    bool ok = true;
    void Add(const Sample& s)
    {
        wall.push_back(s.wall);
        cpu.push_back(s.cpu);
        peakKb = std::max(peakKb, s.peakKb);
        ok = ok && s.exitCode == 0;
    }
};

void Report(const char* name, const Result& ours, const Result& tool)
{
    const double w0 = Median(ours.wall), w1 = Median(tool.wall);
    const double c0 = Median(ours.cpu), c1 = Median(tool.cpu);
    std::printf("%-28s library %7.3f s (cpu %7.3f s, %7ld KB)%s | tool %7.3f s (cpu %7.3f s, %7ld KB)%s | "
                "wall ratio %.3f, cpu ratio %.3f, memory ratio %.3f\n",
        name, w0, c0, ours.peakKb, ours.ok ? "" : " FAILED", w1, c1, tool.peakKb, tool.ok ? "" : " FAILED",
        w1 > 0 ? w0 / w1 : 0, c1 > 0 ? c0 / c1 : 0, tool.peakKb ? double(ours.peakKb) / tool.peakKb : 0);
    std::fflush(stdout);
}

void Compare(const char* name, const Args& ours, const Args& tool, int reps)
{
    Result a, b;
    Measure(ours); // warm the page cache and the dynamic loader for both
    Measure(tool);
    for (int i = 0; i < reps; ++i) {
        // Alternate the order so that a slow moment of the machine hits both sides.
        if (i % 2 == 0) {
            a.Add(Measure(ours));
            b.Add(Measure(tool));
        } else {
            b.Add(Measure(tool));
            a.Add(Measure(ours));
        }
    }
    Report(name, a, b);
}

int RunTranscode(int argc, char** argv)
{
    std::vector<const char*> a{""};
    for (int i = 0; i < argc; ++i)
        a.push_back(argv[i]);
    const int status = Transcode(nullptr, nullptr, static_cast<int>(a.size()), a.data());
    return status < 0 ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--run") == 0)
        return RunTranscode(argc - 2, argv + 2);

    int reps = 3;
    int seconds = 20;
    fs::path cache = TQ9_BENCH_CACHE;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--reps"))
            reps = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--seconds"))
            seconds = std::max(6, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--cache"))
            cache = argv[i + 1];
    }
    const std::string self = fs::canonical("/proc/self/exe").string();
    fs::create_directories(cache);
    const std::string d = std::to_string(seconds);
    const fs::path src = cache / ("hd-" + d + "s.mp4");
    if (!fs::exists(src)) {
        std::printf("synthesising %s (%s s of 1920x1080 H.264 + AAC, 16:9)...\n", src.c_str(), d.c_str());
        std::fflush(stdout);
        Sample s = Measure({"ffmpeg", "-nostdin", "-y", "-loglevel", "error", "-f", "lavfi", "-i",
            "testsrc2=s=1920x1080:r=30:d=" + d, "-f", "lavfi", "-i", "sine=f=440:r=48000:d=" + d, "-ac", "2", "-c:v",
            "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p", "-c:a", "aac", "-b:a", "128k",
            (cache / "tmp.mp4").string()});
        if (s.exitCode != 0) {
            std::fprintf(stderr, "ffmpeg failed to synthesise the input\n");
            return 1;
        }
        fs::rename(cache / "tmp.mp4", src);
    }
    const std::string in = src.string();
    const std::string out1 = (cache / "lib.mp4").string(), out2 = (cache / "tool.mp4").string();
    std::printf("input %s, %d runs each, %ld processors, load %s", in.c_str(), reps, sysconf(_SC_NPROCESSORS_ONLN),
        [] {
            static char buf[64] = "?\n";
            if (FILE* f = std::fopen("/proc/loadavg", "r")) {
                if (!std::fgets(buf, sizeof buf, f))
                    std::strcpy(buf, "?\n");
                std::fclose(f);
            }
            return buf;
        }());

    const Args ff = {"ffmpeg", "-nostdin", "-y", "-loglevel", "error"};
    auto tool = [&ff](Args rest) {
        Args a = ff;
        a.insert(a.end(), rest.begin(), rest.end());
        return a;
    };

    // ConvertToDevice, NTSC, letterboxed 16:9.
    Compare("ConvertToDevice (NTSC, LB)",
        {self, "--run", "-i", in, "-acodec", "libmp3lame", "-ab", "128k", "-ac", "2", "-ar", "48000", "-vcodec", "mpeg4",
            "-flags", "+ildct+ilme", "-top", "1", "-b", "5000k", "-bt", "1000k", "-vsync", "1", "-s", "720x405", "-r",
            "29.97", "-vf", "pad=720:480:0:37:black", "-f", "mp4", out1},
        tool({"-i", in, "-acodec", "libmp3lame", "-ab", "128k", "-ac", "2", "-ar", "48000", "-vcodec", "mpeg4",
            "-flags", "+ildct+ilme", "-top", "1", "-b:v", "5000k", "-bt", "1000k", "-vsync", "1", "-vf",
            "scale=720:405,pad=720:480:0:37:black", "-r", "30000/1001", "-f", "mp4", out2}),
        reps);

    // Probe.
    Compare("Probe", {self, "--run", "-i", in},
        {"ffprobe", "-v", "error", "-show_format", "-show_streams", "-o", "/dev/null", in}, std::max(reps, 5));

    // Thumbnail: the library seeks to the keyframe and decodes forward to 5 s. The tool with an input seek
    // does the same; with an output seek (the literal vector) it decodes from the start.
    const std::string bmp1 = (cache / "lib.bmp").string(), bmp2 = (cache / "tool.bmp").string();
    const Args ours = {self, "--run", "-i", in, "-s", "48x27", "-ss", "5", "-vf", "pad=48:36:0:4:black", "-vframes", "1",
        "-an", "-vcodec", "bmp", "-f", "image2", bmp1};
    Compare("ExtractFrame vs input seek", ours,
        tool({"-ss", "5", "-i", in, "-vf", "scale=48:27,pad=48:36:0:4:black", "-frames:v", "1", "-an", "-c:v", "bmp",
            "-f", "image2", "-update", "1", bmp2}),
        std::max(reps, 5));
    Compare("ExtractFrame vs output seek", ours,
        tool({"-i", in, "-ss", "5", "-vf", "scale=48:27,pad=48:36:0:4:black", "-frames:v", "1", "-an", "-c:v", "bmp",
            "-f", "image2", "-update", "1", bmp2}),
        std::max(reps, 5));

    // ConvertAudio.
    const std::string mp31 = (cache / "lib.mp3").string(), mp32 = (cache / "tool.mp3").string();
    Compare("ConvertAudio", {self, "--run", "-i", in, "-acodec", "libmp3lame", "-ab", "128k", "-ac", "2", "-ar", "48000", "-vn", "-f", "mp3", mp31},
        tool({"-i", in, "-acodec", "libmp3lame", "-ab", "128k", "-ac", "2", "-ar", "48000", "-vn", "-f", "mp3", mp32}),
        reps);
    return 0;
}
