// The converter through the real media library, checked by what the device would see (ffprobe fields,
// BMP headers). Inputs are tiny synthesised clips.
#include <QImage>
#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "media/FFMpegConverter.h"
#include "media/MediaInfo.h"
#include "RealLibraryFixture.h"
#include "support/TestSupport.h"

using namespace tq9;
using namespace tq9test;

namespace {

fs::path ClipWithAudio()
{
    return SynthMedia("conv-4x3-aac.mp4", {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=1.5", "-f",
                                           "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=1.5",
                                           "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest"});
}

fs::path WideClipWithoutAudio()
{
    return SynthMedia("conv-16x9-silent.mp4", {"-f", "lavfi", "-i", "testsrc=size=320x180:rate=25:duration=1",
                                               "-c:v", "mpeg4", "-an"});
}

fs::path SixSecondClip()
{
    return SynthMedia("conv-6s.mp4", {"-f", "lavfi", "-i", "testsrc=size=128x96:rate=10:duration=6", "-c:v", "mpeg4"});
}

} // namespace

TEST_F(RealLibrary, ProbeReportsStreamsAndFailures)
{
    const MediaInfo info = ProbeOf(ClipWithAudio());
    EXPECT_NE(info.formatName.find("mp4"), std::string::npos);
    EXPECT_NEAR(1500, info.durationMs, 100);
    ASSERT_EQ(2u, info.streams.size());
    EXPECT_EQ(160, info.streams[0].width);
    EXPECT_EQ(120, info.streams[0].height);
    EXPECT_GE(info.streams[1].codecId, 0x10000u);
    EXPECT_NE(0x15001u, info.streams[1].codecId);
    EXPECT_FALSE(IsMpeg4Mp3(info)); // H.264 with AAC

    WriteFile(dir / "text.mp4", "not media at all");
    MediaInfo bad;
    EXPECT_TRUE(conv.Probe((dir / "text.mp4").string(), bad).Failed());
    EXPECT_TRUE(conv.Probe((dir / "missing.mp4").string(), bad).Failed());
}

TEST_F(RealLibrary, ConvertToDeviceGivesTheDeviceFormat)
{
    const MediaInfo info = ProbeOf(ClipWithAudio());
    const fs::path out = dir / "out.mp4";
    ASSERT_FALSE(conv.ConvertToDevice(ntsc, ClipWithAudio().string(), info, out.string()).Failed());
    EXPECT_EQ("codec_name=mpeg4\nwidth=720\nheight=480\nr_frame_rate=30000/1001\n",
              Probe(out, "stream=codec_name,width,height,r_frame_rate", "v:0"));
    EXPECT_EQ("codec_name=mp3\nsample_rate=48000\nchannels=2\n",
              Probe(out, "stream=codec_name,sample_rate,channels", "a:0"));
    MediaInfo back;
    conv.Probe(out.string(), back);
    EXPECT_TRUE(IsMpeg4Mp3(back));
}

TEST_F(RealLibrary, SilentWideSourceIsLetterboxedWithAnAudioTrack)
{
    const MediaInfo info = ProbeOf(WideClipWithoutAudio());
    ConversionSettings pal;
    pal.NTSC = 0;
    pal.LetterBox = 1;
    const fs::path out = dir / "out.mp4";
    ASSERT_FALSE(conv.ConvertToDevice(pal, WideClipWithoutAudio().string(), info, out.string()).Failed());
    EXPECT_EQ("width=720\nheight=576\nr_frame_rate=25/1\n", Probe(out, "stream=width,height,r_frame_rate", "v:0"));
    EXPECT_EQ("codec_name=mp3\n", Probe(out, "stream=codec_name", "a:0"));
}

TEST_F(RealLibrary, ExtractFrameAndConvertAudio)
{
    const MediaInfo info = ProbeOf(WideClipWithoutAudio());
    ConversionSettings letterbox;
    letterbox.LetterBox = 1;
    const fs::path thumb = dir / "clip.thm";
    EXPECT_FALSE(conv.ExtractFrame(letterbox, WideClipWithoutAudio().string(), info, thumb.string()).Failed());
    const std::string bmp = ReadFile(thumb);
    ASSERT_GE(bmp.size(), 54u);
    EXPECT_EQ("BM", bmp.substr(0, 2));
    const QImage image(QString::fromStdString(thumb.string()), "BMP");
    ASSERT_EQ(QSize(48, 36), image.size());
    EXPECT_EQ(24, image.bitPlaneCount());
    EXPECT_LT(qGray(image.pixel(24, 1)), 16); // the pad bar above the picture

    const fs::path mp3 = dir / "song.mp3";
    ASSERT_FALSE(conv.ConvertAudio(ClipWithAudio().string(), mp3.string()).Failed());
    EXPECT_EQ("codec_name=mp3\nsample_rate=48000\nchannels=2\n",
              Probe(mp3, "stream=codec_name,sample_rate,channels", "a:0"));
}

TEST_F(RealLibrary, FrameFromFiveSecondsInAndTwoPasses)
{
    const MediaInfo info = ProbeOf(SixSecondClip());
    ASSERT_GT(info.durationMs, 5000);
    const fs::path thumb = dir / "late.thm";
    EXPECT_FALSE(conv.ExtractFrame(ntsc, SixSecondClip().string(), info, thumb.string()).Failed());
    EXPECT_EQ(QSize(48, 36), QImage(QString::fromStdString(thumb.string()), "BMP").size());

    const fs::path out = dir / "two.mp4";
    const fs::path log = dir / "pass.log";
    ASSERT_FALSE(conv.ConvertToDeviceTwoPass(ntsc, ClipWithAudio().string(), ProbeOf(ClipWithAudio()), out.string(),
                                             log.string(), 0)
                     .Failed());
    EXPECT_TRUE(fs::exists(log)) << "the first pass writes its statistics to exactly the given file";
    ASSERT_FALSE(conv.ConvertToDeviceTwoPass(ntsc, ClipWithAudio().string(), ProbeOf(ClipWithAudio()), out.string(),
                                             log.string(), 1)
                     .Failed());
    EXPECT_EQ("codec_name=mpeg4\nwidth=720\nheight=480\n", Probe(out, "stream=codec_name,width,height", "v:0"));
}

TEST_F(RealLibrary, StopDuringAConversionIsNotASuccess)
{
    const MediaInfo info = ProbeOf(SixSecondClip());
    std::atomic<bool> done{false};
    std::thread canceller([&] {
        while (!done && conv.GetProgress().position == 0)
            std::this_thread::yield();
        conv.RequestStop();
    });
    const ConverterOutcome outcome =
        conv.ConvertToDevice(ntsc, SixSecondClip().string(), info, (dir / "stopped.mp4").string());
    done = true;
    canceller.join();
    EXPECT_TRUE(outcome.Failed());
    EXPECT_LT(conv.GetProgress().position, 6000);
}
