// The writer API of libtq9media (WMV: ASF with wmv2 and wmav2), for the WMV export pipeline.
#include "MediaLibTestSupport.h"
#include "support/AsfPackets.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tq9test;

namespace {

Tq9WriterSettings Settings(int width, int height, int rate, int channels, int64_t audioBitRate)
{
    Tq9WriterSettings s{};
    s.width = width;
    s.height = height;
    s.frameRateNum = 25;
    s.frameRateDen = 1;
    s.videoBitRate = 6000000;
    s.sampleRate = rate;
    s.channels = channels;
    s.audioBitRate = audioBitRate;
    return s;
}

// TQ9_VIDEO_ENCODERS for one scope: how many encoder instances a writer opened meanwhile starts.
class EncodersGuard {
public:
    explicit EncodersGuard(int n) { ::setenv("TQ9_VIDEO_ENCODERS", std::to_string(n).c_str(), 1); }
    ~EncodersGuard() { ::unsetenv("TQ9_VIDEO_ENCODERS"); }
    EncodersGuard(const EncodersGuard&) = delete;
    EncodersGuard& operator=(const EncodersGuard&) = delete;
};

// A moving gradient with some noise, so the encoder has real work and the rate control something to do.
class Pictures {
public:
    Pictures(int width, int height) : m_w(width), m_h(height), m_y(width * height), m_c((width / 2) * (height / 2)) {}
    int Send(Tq9MediaWriter* w, int n, int64_t ptsUs)
    {
        uint32_t seed = 12345u + n;
        for (int y = 0; y < m_h; ++y)
            for (int x = 0; x < m_w; ++x) {
                seed = seed * 1664525u + 1013904223u;
                m_y[y * m_w + x] = static_cast<uint8_t>(x + y + 4 * n + (seed >> 28));
            }
        std::fill(m_c.begin(), m_c.end(), static_cast<uint8_t>(128 + n % 40));
        const uint8_t* planes[3] = {m_y.data(), m_c.data(), m_c.data()};
        const int lines[3] = {m_w, m_w / 2, m_w / 2};
        return Tq9WriterVideo(w, planes, lines, ptsUs);
    }
    // The last picture sent, as raw planar YUV 4:2:0.
    void AppendTo(std::string& yuv) const
    {
        yuv.append(m_y.begin(), m_y.end());
        yuv.append(m_c.begin(), m_c.end());
        yuv.append(m_c.begin(), m_c.end());
    }

private:
    int m_w, m_h;
    std::vector<uint8_t> m_y, m_c;
};

// A 440 Hz tone in chunks of uneven sizes (the writer re-frames them for the encoder).
int SendTone(Tq9MediaWriter* w, int rate, int channels, double seconds)
{
    const int64_t total = static_cast<int64_t>(seconds * rate);
    const int sizes[] = {441, 1000, 17, 2048, 1152, 3000};
    std::vector<int16_t> buf;
    int64_t at = 0;
    for (int i = 0; at < total; ++i) {
        const int n = static_cast<int>(std::min<int64_t>(sizes[i % 6], total - at));
        buf.resize(static_cast<size_t>(n) * channels);
        for (int k = 0; k < n; ++k)
            for (int c = 0; c < channels; ++c)
                buf[k * channels + c] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * (at + k) / rate));
        if (int rc = Tq9WriterAudio(w, buf.data(), n, at * 1000000 / rate); rc != 0)
            return rc;
        at += n;
    }
    return 0;
}

double Seconds(const std::string& text)
{
    return text.empty() || text == "N/A" ? -1 : std::stod(text);
}

struct Packets {
    std::vector<double> pts;
    double end = 0; // of the last packet
    int64_t bytes = 0;
};

// One stream's packets as the demuxer gives them (ASF has only the file's duration, not each stream's,
// and no duration for a video packet: frameDuration stands in).
Packets ReadPackets(const fs::path& file, const std::string& stream, double frameDuration = 0)
{
    const ProcessResult r = RunProcess({"ffprobe", "-v", "error", "-select_streams", stream, "-show_entries",
        "packet=pts_time,duration_time,size", "-of", "csv=p=0", file.string()});
    Packets p;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
        double pts = 0, duration = frameDuration;
        long long size = 0;
        if (std::sscanf(line.c_str(), "%lf,%lf,%lld", &pts, &duration, &size) != 3 &&
            std::sscanf(line.c_str(), "%lf,N/A,%lld", &pts, &size) != 2)
            continue;
        p.pts.push_back(pts);
        p.end = std::max(p.end, pts + duration);
        p.bytes += size;
    }
    return p;
}

struct AudioRow {
    int rate;
    int channels;
    int64_t bitRate;
};

class WriterRowTest : public ::testing::TestWithParam<AudioRow> {};

} // namespace

// Pictures and sound from two threads at once, as the writer filter's two pins deliver them; an existing
// file at the path is replaced.
TEST_P(WriterRowTest, WritesWmvThatDecodesCleanly)
{
    const AudioRow row = GetParam();
    TempDir tmp;
    const fs::path out = tmp / "out.wmv";
    WriteFile(out, std::string(100000, 'x'));
    Tq9MediaWriter* w = nullptr;
    const Tq9WriterSettings s = Settings(176, 144, row.rate, row.channels, row.bitRate);
    ASSERT_EQ(Tq9WriterOpen(out.string().c_str(), &s, &w), 0);
    int videoRc = 0, audioRc = 0;
    std::thread video([&] {
        Pictures p(176, 144);
        for (int n = 0; n < 50 && videoRc == 0; ++n)
            videoRc = p.Send(w, n, n * 40000);
    });
    std::thread audio([&] { audioRc = SendTone(w, row.rate, row.channels, 2.0); });
    video.join();
    audio.join();
    EXPECT_EQ(videoRc, 0);
    EXPECT_EQ(audioRc, 0);
    ASSERT_EQ(Tq9WriterClose(w), 0);

    // The file starts at 0 with the audio encoder's priming frame (2048 samples), which keeps the sound
    // with the pictures: they follow it by as much, and both streams end with the source within a picture.
    const double priming = std::round(2048000.0 / row.rate) / 1000; // ASF counts in ms
    auto v = ProbeFields(out, "stream=codec_name,width,height,start_time", "v");
    EXPECT_EQ(v["codec_name"], "wmv2");
    EXPECT_EQ(v["width"], "176");
    EXPECT_EQ(v["height"], "144");
    EXPECT_NEAR(Seconds(v["start_time"]), priming, 0.0005);
    EXPECT_NEAR(ReadPackets(out, "v", 0.04).end, 2.0 + priming, 0.04);
    const Packets sound = ReadPackets(out, "a");
    EXPECT_NEAR(sound.end, 2.0 + priming, 0.04);
    EXPECT_EQ(sound.pts.front(), 0);
    auto f = ProbeFields(out, "format=format_name,duration");
    EXPECT_EQ(f["format_name"], "asf");
    // To the end of the sound's last frame, which the encoder's delay puts a priming past the source's.
    EXPECT_NEAR(Seconds(f["duration"]), 2.0 + 2 * priming, 0.002);
    // What a player reads from the packets as stored: no send time below zero (unsigned, as VLC takes
    // them), none going back, and the pictures' first presentation as far after the sound's as the priming.
    const AsfPackets asf = ReadAsfPackets(out);
    ASSERT_TRUE(asf.ok);
    EXPECT_TRUE(asf.SentFromZeroOn());
    EXPECT_LE(asf.packets.back().sendTimeMs, 3000u);
    EXPECT_EQ(asf.FirstPresentationMs(2), 0); // the sound
    EXPECT_EQ(asf.FirstPresentationMs(1), std::lround(priming * 1000));
    auto a = ProbeFields(out, "stream=codec_name,sample_rate,channels,bit_rate", "a");
    EXPECT_EQ(a["codec_name"], "wmav2");
    EXPECT_EQ(a["sample_rate"], std::to_string(row.rate));
    EXPECT_EQ(a["channels"], std::to_string(row.channels));
    EXPECT_EQ(a["bit_rate"], std::to_string(row.bitRate));
    const ProcessResult decode = RunProcess({"ffmpeg", "-v", "error", "-i", out.string(), "-f", "null", "-"});
    EXPECT_EQ(decode.exitCode, 0);
    EXPECT_EQ(decode.err, "");
}

INSTANTIATE_TEST_SUITE_P(AudioRows, WriterRowTest,
    ::testing::Values(AudioRow{44100, 2, 128000}, AudioRow{48000, 2, 256000}, AudioRow{32000, 1, 32000}),
    [](const auto& info) { return std::to_string(info.param.rate) + "_" + std::to_string(info.param.channels); });

// The caller's times: pictures on the same tick are dropped, pictures without a time follow the last one,
// and a gap in the sound is filled, so the streams stay together and the length is the source's.
TEST(WriterTest, TimesStayMonotonicAndTheLengthIsTheSources)
{
    TempDir tmp;
    const fs::path out = tmp / "times.wmv";
    Tq9MediaWriter* w = nullptr;
    const Tq9WriterSettings s = Settings(160, 120, 44100, 1, 64000);
    ASSERT_EQ(Tq9WriterOpen(out.string().c_str(), &s, &w), 0);
    Pictures p(160, 120);
    int sent = 0;
    for (int n = 0; n < 40; ++n) {
        ASSERT_EQ(p.Send(w, n, n * 40000 + (n % 3) * 1500), 0); // jitter below half a picture
        ++sent;
        if (n % 10 == 5) {
            ASSERT_EQ(p.Send(w, n, n * 40000 + 5000), 0); // a second picture on the same tick
        }
    }
    ASSERT_EQ(p.Send(w, 40, TQ9_MEDIA_TIME_NONE), 0);
    ++sent;
    std::vector<int16_t> second(44100, 1000);
    ASSERT_EQ(Tq9WriterAudio(w, second.data(), 22050, 0), 0);
    ASSERT_EQ(Tq9WriterAudio(w, second.data(), 22050, 1000000), 0); // half a second missing before this
    ASSERT_EQ(Tq9WriterClose(w), 0);

    const std::vector<double> times = ReadPackets(out, "v").pts;
    ASSERT_EQ(static_cast<int>(times.size()), sent);
    for (size_t i = 1; i < times.size(); ++i)
        EXPECT_GT(times[i], times[i - 1]) << i;
    EXPECT_NEAR(times.back() - times.front(), 1.6, 0.001);
    EXPECT_NEAR(ReadPackets(out, "a").end - times.front(), 1.5, 0.05); // within one encoder frame
}

// The rate control follows the bit rate asked for (the exporter's 6 Mbit/s would not be reached by tiny
// pictures, so a lower one shows it), with one encoder and with four that code groups at once.
TEST(WriterTest, VideoFollowsTheBitRate)
{
    for (const int instances : {1, 4}) {
        EncodersGuard guard(instances);
        TempDir tmp;
        const fs::path out = tmp / "rate.wmv";
        Tq9MediaWriter* w = nullptr;
        Tq9WriterSettings s = Settings(320, 240, 44100, 1, 64000);
        s.videoBitRate = 1500000;
        ASSERT_EQ(Tq9WriterOpen(out.string().c_str(), &s, &w), 0);
        Pictures p(320, 240);
        for (int n = 0; n < 75; ++n)
            ASSERT_EQ(p.Send(w, n, n * 40000), 0);
        ASSERT_EQ(SendTone(w, 44100, 1, 3.0), 0);
        ASSERT_EQ(Tq9WriterClose(w), 0);
        const int64_t bytes = ReadPackets(out, "v").bytes;
        // The ffmpeg tool overshoots as much on 3 s.
        EXPECT_NEAR(bytes * 8 / 3.0, 1500000, 1500000 * 0.3) << instances << " instances";
    }
}

// Abort, bad settings and a write failure (the file-size limit) leave no file behind; the failure reaches
// the caller from the encoders' threads.
TEST(WriterTest, NothingPartialIsLeft)
{
    EncodersGuard guard(3);
    TempDir tmp;
    const fs::path out = tmp / "partial.wmv";
    Tq9MediaWriter* w = nullptr;
    Tq9WriterSettings s = Settings(160, 120, 44100, 2, 128000);
    ASSERT_EQ(Tq9WriterOpen(out.string().c_str(), &s, &w), 0);
    Pictures p(160, 120);
    for (int n = 0; n < 10; ++n)
        ASSERT_EQ(p.Send(w, n, n * 40000), 0);
    EXPECT_TRUE(fs::exists(out));
    Tq9WriterAbort(w);
    EXPECT_FALSE(fs::exists(out));
    Tq9WriterAbort(nullptr);

    s.width = 161;
    EXPECT_EQ(Tq9WriterOpen(out.string().c_str(), &s, &w), -EINVAL);
    EXPECT_EQ(w, nullptr);
    s.width = 160;
    s.sampleRate = 96000; // above what wmav2 codes
    EXPECT_EQ(Tq9WriterOpen(out.string().c_str(), &s, &w), -EINVAL);
    EXPECT_FALSE(fs::exists(out));
    s.sampleRate = 44100;
    EXPECT_LT(Tq9WriterOpen((tmp / "no-such-folder" / "x.wmv").string().c_str(), &s, &w), 0);

    // In a child: a 64 KB file-size limit makes a write fail part way; every later call and Close fail
    // with that error and the file is gone.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        Tq9MediaWriter* cw = nullptr;
        if (Tq9WriterOpen(out.string().c_str(), &s, &cw) != 0)
            _exit(10);
        Pictures cp(160, 120);
        int failed = 0;
        for (int n = 0; n < 250 && failed == 0; ++n)
            failed = cp.Send(cw, n, n * 40000);
        const int16_t silence[64] = {};
        const bool later = Tq9WriterAudio(cw, silence, 32, 0) == failed || failed == 0;
        const int closed = Tq9WriterClose(cw);
        _exit(closed < 0 && later && !fs::exists(out) ? 0 : 11);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

namespace {

struct Coded {
    std::vector<double> pts;
    std::vector<size_t> keyframes; // picture numbers
    int64_t bytes = 0;
    double psnr = 0; // against the pictures sent
    std::string decodeMessages;
};

// 150 pictures (12 groups of 12 and a short one) at 1 Mbit/s through `instances` encoders, and what the file
// holds.
Coded CodeWith(int instances, const fs::path& dir)
{
    EncodersGuard guard(instances);
    const fs::path out = dir / ("v" + std::to_string(instances) + ".wmv");
    const fs::path raw = dir / "source.yuv";
    Tq9MediaWriter* w = nullptr;
    Tq9WriterSettings s = Settings(320, 240, 44100, 1, 64000);
    s.videoBitRate = 1000000;
    Coded c;
    if (Tq9WriterOpen(out.string().c_str(), &s, &w) != 0) {
        ADD_FAILURE() << "open";
        return c;
    }
    Pictures p(320, 240);
    std::string yuv;
    for (int n = 0; n < 150; ++n) {
        EXPECT_EQ(p.Send(w, n, n * 40000), 0);
        p.AppendTo(yuv);
    }
    EXPECT_EQ(SendTone(w, 44100, 1, 6.0), 0);
    EXPECT_EQ(Tq9WriterClose(w), 0);
    WriteFile(raw, yuv);

    const ProcessResult packets = RunProcess({"ffprobe", "-v", "error", "-select_streams", "v", "-show_entries",
        "packet=pts_time,size,flags", "-of", "csv=p=0", out.string()});
    std::istringstream in(packets.out);
    for (std::string line; std::getline(in, line);) {
        double pts = 0;
        long long size = 0;
        char flags[8] = {};
        if (std::sscanf(line.c_str(), "%lf,%lld,%7s", &pts, &size, flags) != 3)
            continue;
        if (flags[0] == 'K')
            c.keyframes.push_back(c.pts.size());
        c.pts.push_back(pts);
        c.bytes += size;
    }
    const ProcessResult psnr = RunProcess({"ffmpeg", "-v", "info", "-nostdin", "-i", out.string(), "-f", "rawvideo",
        "-pix_fmt", "yuv420p", "-s", "320x240", "-r", "25", "-i", raw.string(), "-lavfi",
        "[0:v]settb=1/25,setpts=N[a];[1:v]settb=1/25,setpts=N[b];[a][b]psnr", "-f", "null", "-"});
    const size_t at = psnr.err.find("average:");
    if (at != std::string::npos)
        c.psnr = std::stod(psnr.err.substr(at + 8));
    c.decodeMessages = RunProcess({"ffmpeg", "-v", "error", "-nostdin", "-i", out.string(), "-f", "null", "-"}).err;
    return c;
}

} // namespace

// Encoder instances code the groups at once: the file holds every picture in order, a keyframe at the start
// of each group of 12 and nowhere else, decodes cleanly, and keeps one encoder's rate and quality.
TEST(WriterTest, EncoderInstancesWriteOneEncodersFile)
{
    TempDir tmp;
    const Coded one = CodeWith(1, tmp.Path());
    const Coded four = CodeWith(4, tmp.Path());
    std::vector<size_t> groupStarts;
    for (size_t n = 0; n < 150; n += 12)
        groupStarts.push_back(n);
    for (const Coded* c : {&one, &four}) {
        ASSERT_EQ(c->pts.size(), 150u);
        for (size_t n = 0; n < c->pts.size(); ++n)
            EXPECT_NEAR(c->pts[n] - c->pts[0], n * 0.04, 0.0011) << n;
        EXPECT_EQ(c->keyframes, groupStarts);
        EXPECT_EQ(c->decodeMessages, "");
    }
    EXPECT_NEAR(four.bytes, one.bytes, one.bytes * 0.05);
    EXPECT_GT(four.psnr, one.psnr - 0.3);

}

// Without TQ9_VIDEO_ENCODERS a writer starts one encoder (one thread) per CPU its opener may run on, so
// taskset limits it.
TEST(WriterTest, OneEncoderPerCpuTheCallerMayUse)
{
    cpu_set_t allowed;
    ASSERT_EQ(sched_getaffinity(0, sizeof allowed, &allowed), 0);
    const auto threads = [] {
        return std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator());
    };
    TempDir tmp;
    const Tq9WriterSettings s = Settings(160, 120, 44100, 1, 64000);
    for (int cpus = 1; cpus <= std::min(2, CPU_COUNT(&allowed)); ++cpus) {
        cpu_set_t some;
        CPU_ZERO(&some);
        for (int cpu = 0, taken = 0; taken < cpus; ++cpu)
            if (CPU_ISSET(cpu, &allowed)) {
                CPU_SET(cpu, &some);
                ++taken;
            }
        ASSERT_EQ(sched_setaffinity(0, sizeof some, &some), 0); // this thread's; the writer's inherit it
        const auto before = threads();
        Tq9MediaWriter* w = nullptr;
        const int rc = Tq9WriterOpen((tmp / "cpus.wmv").string().c_str(), &s, &w);
        const auto during = threads();
        Tq9WriterAbort(w);
        sched_setaffinity(0, sizeof allowed, &allowed);
        ASSERT_EQ(rc, 0);
        EXPECT_EQ(during - before, cpus);
    }
}
