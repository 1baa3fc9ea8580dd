// Conversions with the converters' exact vectors: what the device would see in the output.
#include "MediaLibTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace tq9test;

namespace {

double Number(const std::string& text)
{
    return std::atof(text.c_str());
}

// Checks the device form: mpeg4 720xH at the rate, 4:3, interlaced top field first, mp3 48 kHz stereo.
void ExpectDeviceForm(const fs::path& out, int height, const std::string& rate, const std::string& sar)
{
    auto v = ProbeFields(out, "stream=codec_name,width,height,r_frame_rate,avg_frame_rate,sample_aspect_ratio,"
                              "display_aspect_ratio",
        "v");
    EXPECT_EQ(v["codec_name"], "mpeg4");
    EXPECT_EQ(v["width"], "720");
    EXPECT_EQ(v["height"], std::to_string(height));
    EXPECT_EQ(v["r_frame_rate"], rate);
    EXPECT_EQ(v["avg_frame_rate"], rate);
    EXPECT_EQ(v["sample_aspect_ratio"], sar);
    EXPECT_EQ(v["display_aspect_ratio"], "4:3");
    auto a = ProbeFields(out, "stream=codec_name,sample_rate,channels", "a");
    EXPECT_EQ(a["codec_name"], "mp3");
    EXPECT_EQ(a["sample_rate"], "48000");
    EXPECT_EQ(a["channels"], "2");
    EXPECT_EQ(ProbeFields(out, "format=format_name")["format_name"], "mov,mp4,m4a,3gp,3g2,mj2");
    auto flags = FrameFieldFlags(out, 12);
    ASSERT_EQ(flags.size(), 12u);
    for (auto [interlaced, tff] : flags) {
        EXPECT_EQ(interlaced, 1);
        EXPECT_EQ(tff, 1);
    }
}

// The hash of each packet of the file's first stream of that kind ("a", "v"), one a line.
std::string PacketHashes(const fs::path& file, const std::string& kind)
{
    const ProcessResult r = RunProcess({"ffmpeg", "-v", "error", "-i", file.string(), "-map", "0:" + kind, "-c", "copy",
        "-f", "framemd5", "-"});
    std::string hashes; // the last field of each packet line
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#')
            hashes += line.substr(line.rfind(',') + 1) + "\n";
    return hashes;
}

} // namespace

TEST(TranscodeConvert, NtscLetterboxedSixteenNine)
{
    TempDir tmp;
    fs::path out = tmp / "out.mp4";
    WriteFile(out, ""); // the import record reserves the name with an empty file
    TranscodeRun run = RunTranscode(DeviceArgs(SynthVideoAudio(), out, DeviceOptions().Letterbox()));
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.statusEvents, 1);
    ExpectDeviceForm(out, 480, "30000/1001", "8:9");

    // 7 s at 30000/1001: 210 pictures; the sound as long as the picture.
    auto v = ProbeFields(out, "stream=nb_frames,duration", "v");
    EXPECT_NEAR(Number(v["nb_frames"]), 210, 1);
    auto a = ProbeFields(out, "stream=duration", "a");
    EXPECT_NEAR(Number(a["duration"]), 7.0, 0.1);

    // Black bars: rows 0..36 and 442..479; the picture in between.
    EXPECT_LT(AverageLuma(out, 0, 36, 720), 20.0);
    EXPECT_LT(AverageLuma(out, 444, 36, 720), 20.0);
    EXPECT_GT(AverageLuma(out, 200, 40, 720), 40.0);

    // Progress: the total once, positions rising up to about the duration.
    auto totals = run.Of(TQ9_EVENT_DURATION);
    ASSERT_EQ(totals.size(), 1u);
    EXPECT_NEAR(static_cast<double>(totals[0].value), 7000, 100);
    auto positions = run.Of(TQ9_EVENT_POSITION);
    ASSERT_GT(positions.size(), 10u);
    for (size_t i = 1; i < positions.size(); ++i)
        EXPECT_GE(positions[i].value, positions[i - 1].value);
    EXPECT_NEAR(static_cast<double>(positions.back().value), 7000, 150);
}

TEST(TranscodeConvert, PalFourThreeWithSilentAudio)
{
    TempDir tmp;
    fs::path out = tmp / "out.mp4";
    TranscodeRun run = RunTranscode(DeviceArgs(SynthVideoOnly(), out, DeviceOptions().Pal().NoAudio()));
    ASSERT_EQ(run.status, 0);
    ExpectDeviceForm(out, 576, "25/1", "16:15");
    // 3 s at 25: 75 pictures, and a silent track just as long.
    EXPECT_EQ(ProbeFields(out, "stream=nb_frames", "v")["nb_frames"], "75");
    EXPECT_NEAR(Number(ProbeFields(out, "stream=duration", "a")["duration"]), 3.0, 0.06);
    // Not letterboxed: the top rows are picture.
    EXPECT_GT(AverageLuma(out, 0, 20, 720), 40.0);
}

TEST(TranscodeConvert, FullFrameWhenLetterboxIsOff)
{
    TempDir tmp;
    fs::path out = tmp / "out.mp4";
    ASSERT_EQ(RunTranscode(DeviceArgs(SynthVideoAudio(), out, DeviceOptions())).status, 0);
    ExpectDeviceForm(out, 480, "30000/1001", "8:9");
    EXPECT_GT(AverageLuma(out, 0, 20, 720), 40.0);
}

TEST(TranscodeConvert, VideoBitRateFollowsTheVector)
{
    // Busy pictures so that the rate control has to work: the average lands near 5000 kbit/s.
    fs::path src = SynthMedia("ml-busy.mp4", {"-f", "lavfi", "-i", "mandelbrot=s=480x270:r=30,noise=alls=60:allf=t",
                                                 "-t", "4", "-c:v", "libx264", "-preset", "ultrafast", "-crf", "20"});
    TempDir tmp;
    fs::path out = tmp / "out.mp4";
    ASSERT_EQ(RunTranscode(DeviceArgs(src, out, DeviceOptions().NoAudio())).status, 0);
    const double rate = Number(ProbeFields(out, "stream=bit_rate", "v")["bit_rate"]);
    EXPECT_GT(rate, 3500e3);
    EXPECT_LT(rate, 6500e3);
}

TEST(TranscodeConvert, TwoPassWritesThePassLogAtExactlyThePath)
{
    TempDir tmp;
    fs::path out = tmp / "out.mp4";
    fs::path log = tmp / "clip.passlog";
    fs::path src = SynthVideoAudio();
    TranscodeRun first = RunTranscode(DeviceArgs(src, out, DeviceOptions().Letterbox().Pass(1, log.string())));
    ASSERT_EQ(first.status, 0);
    ASSERT_TRUE(fs::exists(log));
    EXPECT_GT(fs::file_size(log), 1000u);
    EXPECT_FALSE(fs::exists(tmp / "clip.passlog-0.log")); // not the ffmpeg tool's name
    const std::string stats = ReadFile(log);
    EXPECT_EQ(stats.rfind("in:0 ", 0), 0u);
    // The second pass writes the file again: the first spends nothing on its sound.
    EXPECT_EQ(ProbeFields(out, "stream=codec_type")["codec_type"], "video");

    TranscodeRun second = RunTranscode(DeviceArgs(src, out, DeviceOptions().Letterbox().Pass(2, log.string())));
    ASSERT_EQ(second.status, 0);
    ExpectDeviceForm(out, 480, "30000/1001", "8:9");
    EXPECT_NEAR(Number(ProbeFields(out, "stream=nb_frames", "v")["nb_frames"]), 210, 1);
    EXPECT_EQ(ReadFile(log), stats); // the second pass only reads it
    const fs::path onePass = tmp / "one.mp4";
    ASSERT_EQ(RunTranscode(DeviceArgs(src, onePass, DeviceOptions().Letterbox())).status, 0);
    EXPECT_EQ(PacketHashes(out, "a"), PacketHashes(onePass, "a")) << "the same sound as one pass";
}

TEST(TranscodeConvert, SecondPassWithoutLogFails)
{
    TempDir tmp;
    fs::path out = tmp / "out.mp4";
    TranscodeRun run = RunTranscode(
        DeviceArgs(SynthVideoAudio(), out, DeviceOptions().Pass(2, (tmp / "missing.passlog").string())));
    EXPECT_LT(run.status, 0);
    EXPECT_FALSE(fs::exists(out));
}

TEST(TranscodeConvert, ConvertAudioMakesMp3)
{
    TempDir tmp;
    fs::path out = tmp / "song.mp3";
    TranscodeRun run = RunTranscode(AudioArgs(SynthVideoAudio(), out));
    ASSERT_EQ(run.status, 0);
    auto a = ProbeFields(out, "stream=codec_name,sample_rate,channels,bit_rate");
    EXPECT_EQ(a["codec_name"], "mp3");
    EXPECT_EQ(a["sample_rate"], "48000");
    EXPECT_EQ(a["channels"], "2");
    EXPECT_NEAR(Number(a["bit_rate"]), 128000, 2000);
    EXPECT_EQ(ProbeFields(out, "format=format_name")["format_name"], "mp3");
    EXPECT_EQ(Probe(out, "stream=codec_type"), "codec_type=audio\n"); // "-vn": no picture
    EXPECT_NEAR(Number(ProbeFields(out, "format=duration")["duration"]), 7.0, 0.1);
    EXPECT_EQ(ReadFile(out).substr(0, 4), std::string("ID3\x03", 4)); // ID3v2.3
}

TEST(TranscodeConvert, ExtractFrameWritesA48x36Bmp)
{
    TempDir tmp;
    for (bool letterbox : {false, true}) {
        fs::path out = tmp / (letterbox ? "lb.thm" : "full.thm");
        WriteFile(out, "");
        TranscodeRun run = RunTranscode(FrameArgs(SynthVideoAudio(), out, letterbox, true));
        ASSERT_EQ(run.status, 0);
        const std::string bmp = ReadFile(out);
        ASSERT_EQ(bmp.size(), 54u + 48 * 3 * 36); // rows of 144 bytes, already 4-byte aligned
        EXPECT_EQ(bmp.substr(0, 2), "BM");
        auto le32 = [&bmp](size_t at) {
            return static_cast<int32_t>(static_cast<uint8_t>(bmp[at]) | static_cast<uint8_t>(bmp[at + 1]) << 8 |
                static_cast<uint8_t>(bmp[at + 2]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(bmp[at + 3])) << 24);
        };
        EXPECT_EQ(le32(18), 48); // width
        EXPECT_EQ(std::abs(le32(22)), 36); // height
        EXPECT_EQ(static_cast<uint8_t>(bmp[28]), 24); // bits per pixel
        // Letterboxed: the bottom-up first rows (the picture's bottom bar) are black.
        const std::string firstRow = bmp.substr(54, 144);
        const bool black = firstRow.find_first_not_of('\0') == std::string::npos;
        EXPECT_EQ(black, letterbox);
    }
}

TEST(TranscodeConvert, ExtractFrameTakesThePictureAtFiveSeconds)
{
    // A source that is dark until 5 s and bright afterwards: the thumbnail must be bright.
    fs::path src = SynthMedia("ml-dark-bright.mp4",
        {"-f", "lavfi", "-i", "color=c=black:s=160x90:r=25:d=5", "-f", "lavfi", "-i", "color=c=white:s=160x90:r=25:d=2",
            "-filter_complex", "[0][1]concat=n=2:v=1:a=0", "-c:v", "libx264", "-g", "250", "-preset", "ultrafast"});
    TempDir tmp;
    fs::path out = tmp / "t.bmp";
    ASSERT_EQ(RunTranscode(FrameArgs(src, out, false, true)).status, 0);
    const std::string bmp = ReadFile(out);
    ASSERT_EQ(bmp.size(), 54u + 48 * 3 * 36);
    EXPECT_GT(static_cast<uint8_t>(bmp[54 + 144 * 18 + 72]), 200);
}

TEST(TranscodeConvert, ExtractFrameIsExactThroughReorderedPictures)
{
    // Each picture has its own grey level (7 steps apart), encoded with B-frames and one keyframe: the walk
    // from the keyframe to 5 s must still land on picture 125, not on a neighbour.
    fs::path src = SynthMedia("ml-grey-ramp.mp4",
        {"-f", "lavfi", "-i", "color=c=black:s=160x120:r=25:d=8,format=gray,geq=lum='mod(N*7\\,256)'", "-pix_fmt",
            "yuv420p", "-c:v", "libx264", "-g", "250", "-bf", "3", "-crf", "10", "-preset", "veryfast"});
    TempDir tmp;
    fs::path out = tmp / "t.bmp";
    ASSERT_EQ(RunTranscode(FrameArgs(src, out, false, true)).status, 0);
    const std::string bmp = ReadFile(out);
    ASSERT_EQ(bmp.size(), 54u + 48 * 3 * 36);
    // Luma 125 * 7 mod 256 = 107, about 106 in RGB; the neighbours are 7 levels off.
    EXPECT_NEAR(static_cast<uint8_t>(bmp[54 + 144 * 18 + 72]), 106, 3);
}

TEST(TranscodeConvert, StopMidRunEndsPromptlyAndLeavesNoFile)
{
    fs::path src = SynthMedia("ml-long.mp4", {"-f", "lavfi", "-i", "testsrc=s=640x360:r=30:d=30", "-f", "lavfi", "-i",
                                                 "sine=d=30", "-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac"});
    TempDir tmp;
    fs::path out = tmp / "out.mp4";
    int positions = 0;
    bool stopped = false;
    int callsAfterStop = 0;
    TranscodeRun run = RunTranscode(DeviceArgs(src, out, DeviceOptions().Letterbox()), [&](const MediaEvent& e) {
        if (stopped) {
            ++callsAfterStop;
            return -1;
        }
        if (e.kind == TQ9_EVENT_POSITION && ++positions == 100) {
            stopped = true;
            return -1;
        }
        return 0;
    });
    EXPECT_LT(run.status, 0);
    EXPECT_TRUE(stopped);
    EXPECT_EQ(callsAfterStop, 1); // only the final status
    EXPECT_EQ(run.events.back().kind, TQ9_EVENT_STATUS);
    EXPECT_LT(run.Of(TQ9_EVENT_POSITION).back().value, 20000);
    EXPECT_FALSE(fs::exists(out)); // created by the run, removed on failure
    EXPECT_LT(run.seconds, 20.0);
}

TEST(TranscodeConvert, StopLeavesAReservedFileEmpty)
{
    TempDir tmp;
    fs::path out = tmp / "out.mp4";
    fs::path log = tmp / "p.passlog";
    WriteFile(out, "");
    int positions = 0;
    TranscodeRun run = RunTranscode(DeviceArgs(SynthVideoAudio(), out, DeviceOptions().Pass(1, log.string())),
        [&](const MediaEvent& e) { return e.kind == TQ9_EVENT_POSITION && ++positions >= 30 ? -1 : 0; });
    EXPECT_LT(run.status, 0);
    ASSERT_TRUE(fs::exists(out));
    EXPECT_EQ(fs::file_size(out), 0u);
    EXPECT_FALSE(fs::exists(log));
}

TEST(TranscodeConvert, ExtractFrameBeyondTheLastPictureUsesTheLastOne)
{
    // 3 s of picture, 7 s of sound: the probe says 7 s, so the thumbnail asks for 5 s.
    fs::path src = SynthMedia("ml-short-video.mp4", {"-f", "lavfi", "-i", "testsrc=s=320x180:r=25:d=3", "-f", "lavfi",
                                                        "-i", "sine=d=7", "-c:v", "libx264", "-preset", "ultrafast",
                                                        "-c:a", "aac"});
    TempDir tmp;
    fs::path out = tmp / "t.thm";
    ASSERT_EQ(RunTranscode(FrameArgs(src, out, true, true)).status, 0);
    EXPECT_EQ(fs::file_size(out), 54u + 48 * 3 * 36);
}

TEST(TranscodeConvert, SoundAloneEncodesTheSamePacketsOnItsOwnThread)
{
    // Sound alone is encoded on a thread of its own, sound beside pictures on the decoding thread: the
    // same source gives the same packets either way.
    TempDir tmp;
    ASSERT_EQ(RunTranscode(AudioArgs(SynthVideoAudio(), tmp / "song.mp3")).status, 0);
    ASSERT_EQ(RunTranscode(DeviceArgs(SynthVideoAudio(), tmp / "clip.mp4", DeviceOptions())).status, 0);
    const auto packets = [](const fs::path& file) { return PacketHashes(file, "a"); };
    // All but the last packet: the two containers end the stream differently (so did they before the
    // sound had a thread of its own).
    auto allButLast = [](std::string hashes) {
        hashes.pop_back();
        return hashes.substr(0, hashes.rfind('\n') + 1);
    };
    const std::string alone = allButLast(packets(tmp / "song.mp3"));
    EXPECT_GT(std::count(alone.begin(), alone.end(), '\n'), 200); // 7 s of 1152-sample frames
    EXPECT_EQ(alone, allButLast(packets(tmp / "clip.mp4")));
}

TEST(TranscodeConvert, ProgressAndLengthFollowTheLongerTrack)
{
    // 1 s of picture and 3 s of sound: the progress goes on through the sound after the picture ends,
    // and the length reported at the end is what the file holds.
    const fs::path source = SynthMedia("ml-v1s-a3s.mp4", {"-f", "lavfi", "-i", "testsrc=s=64x48:r=25:d=1", "-f",
                                                          "lavfi", "-i", "sine=d=3", "-c:v", "libx264", "-preset",
                                                          "ultrafast", "-pix_fmt", "yuv420p", "-c:a", "aac"});
    TempDir tmp;
    const fs::path out = tmp / "out.mp4";
    TranscodeRun run = RunTranscode(DeviceArgs(source, out, DeviceOptions()));
    ASSERT_EQ(run.status, 0);
    const auto positions = run.Of(TQ9_EVENT_POSITION);
    ASSERT_FALSE(positions.empty());
    int64_t last = 0, largestStep = 0;
    for (const MediaEvent& e : positions) {
        largestStep = std::max(largestStep, e.value - last);
        last = e.value;
    }
    EXPECT_NEAR(3000, last, 100);
    EXPECT_LT(largestStep, 500) << "no jump from the picture's end to the sound's";
    const auto lengths = run.Of(TQ9_EVENT_OUTPUT_LENGTH);
    ASSERT_EQ(1u, lengths.size());
    EXPECT_NEAR(Number(ProbeFields(out, "format=duration")["duration"]) * 1000, lengths[0].value, 60);
    EXPECT_EQ(TQ9_EVENT_STATUS, run.events.back().kind);
}
