// Inputs that must either convert correctly or fail with a negative status: never crash, hang, or report
// success over a broken file.
#include "MediaLibTestSupport.h"

#include <gtest/gtest.h>

using namespace tq9test;

namespace {

// Probes, then runs what the import job would run for the kind of file; returns the conversion status.
struct Outcome {
    int probe = 0;
    int convert = 0;
    int frame = 0;
};

Outcome ImportLike(const fs::path& src, const fs::path& dir, bool video)
{
    Outcome o;
    TranscodeRun probe = RunTranscode({"-i", src.string()});
    o.probe = probe.status;
    if (probe.status < 0)
        return o;
    const bool hasAudio = [&] {
        for (const auto& e : probe.Of(TQ9_EVENT_STREAM_INFO))
            if ((e.value & 0xFFFFFFFF) >= 0x10000)
                return true;
        return false;
    }();
    if (video) {
        o.convert = RunTranscode(DeviceArgs(src, dir / "v.mp4", DeviceOptions().Letterbox().NoAudio(!hasAudio))).status;
        o.frame = RunTranscode(FrameArgs(src, dir / "v.thm", false, false)).status;
    } else {
        o.convert = RunTranscode(AudioArgs(src, dir / "a.mp3")).status;
    }
    return o;
}

} // namespace

TEST(TranscodeBadInput, TruncatedContainersFail)
{
    TempDir tmp;
    // Index first (faststart), the data cut off: the demuxer notices the short reads.
    fs::path whole = SynthMedia("ml-faststart.mp4", {"-f", "lavfi", "-i", "testsrc=s=320x180:r=30:d=4", "-f", "lavfi",
                                                        "-i", "sine=d=4", "-c:v", "libx264", "-preset", "ultrafast",
                                                        "-c:a", "aac", "-movflags", "+faststart"});
    std::string bytes = ReadFile(whole);
    WriteFile(tmp / "cut.mp4", bytes.substr(0, bytes.size() * 2 / 3));
    TranscodeRun run = RunTranscode(DeviceArgs(tmp / "cut.mp4", tmp / "o.mp4", {}));
    EXPECT_LT(run.status, 0);
    EXPECT_FALSE(fs::exists(tmp / "o.mp4"));

    // Index last, cut off: cannot even be probed.
    std::string plain = ReadFile(SynthVideoAudio());
    WriteFile(tmp / "cut2.mp4", plain.substr(0, plain.size() - 2000));
    EXPECT_LT(RunTranscode({"-i", (tmp / "cut2.mp4").string()}).status, 0);
}

TEST(TranscodeBadInput, CorruptPayloadConvertsOrFails)
{
    // Garbage over the middle of an MPEG-TS file: the decoder skips damaged packets.
    fs::path ts = SynthMedia("ml-clip.ts", {"-f", "lavfi", "-i", "testsrc=s=320x180:r=25:d=3", "-f", "lavfi", "-i",
                                               "sine=d=3", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "mp2"});
    std::string bytes = ReadFile(ts);
    for (size_t i = bytes.size() / 3; i < bytes.size() / 3 + 20000 && i < bytes.size(); i += 7)
        bytes[i] = static_cast<char>(bytes[i] * 31 + 7);
    TempDir tmp;
    WriteFile(tmp / "bad.ts", bytes);
    TranscodeRun run = RunTranscode(DeviceArgs(tmp / "bad.ts", tmp / "o.mp4", {}));
    if (run.status >= 0)
        EXPECT_EQ(ProbeFields(tmp / "o.mp4", "stream=codec_name", "v")["codec_name"], "mpeg4");
    else
        EXPECT_FALSE(fs::exists(tmp / "o.mp4"));

    // Pure noise with a video name.
    std::string noise(200000, '\0');
    uint32_t x = 12345;
    for (auto& c : noise) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    WriteFile(tmp / "noise.avi", noise);
    Outcome o = ImportLike(tmp / "noise.avi", tmp.Path(), true);
    EXPECT_TRUE(o.probe < 0 || o.convert < 0);
}

TEST(TranscodeBadInput, AudioOnlyAndVideoOnly)
{
    TempDir tmp;
    // Audio-only through ConvertAudio: fine. A video-only file through ConvertAudio: nothing to convert.
    EXPECT_EQ(RunTranscode(AudioArgs(SynthAudioOnly(), tmp / "a.mp3")).status, 0);
    EXPECT_LT(RunTranscode(AudioArgs(SynthVideoOnly(), tmp / "b.mp3")).status, 0);
    EXPECT_FALSE(fs::exists(tmp / "b.mp3"));
    // A thumbnail of an audio-only file: no picture.
    EXPECT_LT(RunTranscode(FrameArgs(SynthAudioOnly(), tmp / "c.thm", false, false)).status, 0);
    EXPECT_FALSE(fs::exists(tmp / "c.thm"));
}

TEST(TranscodeBadInput, OddPictureSizes)
{
    TempDir tmp;
    const std::vector<std::pair<std::string, std::vector<std::string>>> sources = {
        {"ml-1x1.mkv", {"-f", "lavfi", "-i", "testsrc=s=1x1:r=10:d=1", "-c:v", "ffv1"}},
        {"ml-321x181.mkv", {"-f", "lavfi", "-i", "testsrc=s=321x181:r=24:d=1", "-c:v", "ffv1"}},
        {"ml-8k.mkv", {"-f", "lavfi", "-i", "testsrc=s=7680x4320:r=5:d=0.4", "-c:v", "mpeg4", "-q:v", "20"}},
    };
    for (const auto& [name, args] : sources) {
        Outcome o = ImportLike(SynthMedia(name, args), tmp.Path(), true);
        EXPECT_EQ(o.probe, 0) << name;
        EXPECT_EQ(o.convert, 0) << name;
        EXPECT_EQ(o.frame, 0) << name;
        EXPECT_EQ(ProbeFields(tmp / "v.mp4", "stream=width,height", "v")["height"], "480") << name;
        EXPECT_EQ(fs::file_size(tmp / "v.thm"), 54u + 48 * 3 * 36) << name;
    }
}

TEST(TranscodeBadInput, VariableFrameRateBecomesConstant)
{
    fs::path vfr = SynthMedia("ml-vfr.mkv", {"-f", "lavfi", "-i",
                                                "testsrc=s=320x180:r=30:d=3,setpts='N/30/TB+if(gt(N,40),0.7,0)/TB'",
                                                "-c:v", "libx264", "-preset", "ultrafast", "-vsync", "passthrough"});
    TempDir tmp;
    Outcome o = ImportLike(vfr, tmp.Path(), true);
    ASSERT_EQ(o.convert, 0);
    auto v = ProbeFields(tmp / "v.mp4", "stream=r_frame_rate,avg_frame_rate,nb_frames", "v");
    EXPECT_EQ(v["r_frame_rate"], "30000/1001");
    EXPECT_EQ(v["avg_frame_rate"], "30000/1001");
    // 3.7 s of timeline at 29.97: about 111 pictures, gap filled by repeats.
    EXPECT_NEAR(std::atof(v["nb_frames"].c_str()), 111, 3);
}

TEST(TranscodeBadInput, PcmFormatsChannelsAndRates)
{
    TempDir tmp;
    const std::vector<std::pair<std::string, std::vector<std::string>>> sources = {
        {"ml-u8-mono-8k.wav", {"-f", "lavfi", "-i", "sine=d=1:r=8000", "-c:a", "pcm_u8"}},
        {"ml-s24-51-96k.wav",
            {"-f", "lavfi", "-i", "sine=d=1:r=96000", "-af", "aformat=channel_layouts=5.1", "-c:a", "pcm_s24le"}},
        {"ml-s16-stereo-22k.aiff", {"-f", "lavfi", "-i", "sine=d=1:r=22050", "-ac", "2", "-c:a", "pcm_s16be"}},
        {"ml-s16-mono-11k.wav", {"-f", "lavfi", "-i", "sine=d=1:r=11025", "-c:a", "pcm_s16le"}},
    };
    for (const auto& [name, args] : sources) {
        fs::path src = SynthMedia(name, args);
        Outcome o = ImportLike(src, tmp.Path(), false);
        EXPECT_EQ(o.probe, 0) << name;
        ASSERT_EQ(o.convert, 0) << name;
        auto a = ProbeFields(tmp / "a.mp3", "stream=sample_rate,channels");
        EXPECT_EQ(a["sample_rate"], "48000") << name;
        EXPECT_EQ(a["channels"], "2") << name;
        EXPECT_NEAR(std::atof(ProbeFields(tmp / "a.mp3", "format=duration")["duration"].c_str()), 1.0, 0.08) << name;
    }
    // And as the sound of a video (5.1 24-bit 96 kHz in a mov).
    fs::path mov = SynthMedia("ml-51.mov", {"-f", "lavfi", "-i", "testsrc=s=320x180:r=25:d=2", "-f", "lavfi", "-i",
                                               "sine=d=2:r=96000", "-af", "aformat=channel_layouts=5.1", "-c:v",
                                               "libx264", "-preset", "ultrafast", "-c:a", "pcm_s24le"});
    Outcome o = ImportLike(mov, tmp.Path(), true);
    ASSERT_EQ(o.convert, 0);
    EXPECT_EQ(ProbeFields(tmp / "v.mp4", "stream=channels", "a")["channels"], "2");
}
