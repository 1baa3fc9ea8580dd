// The WMV converter: the profile it sets, and whole conversions through the export pipeline with a
// recording writer in place of the encoder.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "media/wmv/ExportProfile.h"
#include "media/wmv/WMVConverter.h"
#include "media/FakeWriter.h"
#include "media/WmvTestMedia.h"

using namespace tq9;
using namespace tq9test;

TEST(WMVProfile, VideoAndAudioFollowTheSource)
{
    // The audio table's rows by the recording's audio bit rate; the file's sound is 48 kHz only for 48 kHz.
    const struct {
        int rate;
        int64_t bitRate;
        int64_t written;
        int fileRate;
    } cases[] = {{44100, 128000, 128016, 44100}, {48000, 320000, 256016, 48000}, {48000, 99999, 96000, 48000},
                 {48000, 100000, 128016, 48000}, {44100, 130000, 256016, 44100}, {32000, 64000, 96000, 44100},
                 {44100, 0, 96000, 44100}};
    Tq9MediaStreamInfo video{};
    video.width = 720;
    video.height = 576;
    video.frameRateNum = 25;
    video.frameRateDen = 1;
    for (const auto& c : cases) {
        Tq9MediaStreamInfo audio{};
        audio.sampleRate = c.rate;
        audio.bitRate = c.bitRate;
        audio.channels = 1;
        const Tq9WriterSettings s = CExportProfile::SettingsFor(video, audio);
        const std::string at = std::to_string(c.rate) + "/" + std::to_string(c.bitRate);
        EXPECT_EQ(s.audioBitRate, c.written) << at;
        EXPECT_EQ(s.sampleRate, c.fileRate) << at;
        EXPECT_EQ(s.channels, 2) << at;
        EXPECT_EQ(s.inputSampleRate, c.rate) << at;
        EXPECT_EQ(s.inputChannels, 1) << at;
        EXPECT_EQ(s.videoBitRate, 6000000) << at;
        EXPECT_EQ(s.width, 720) << at;
        EXPECT_EQ(s.height, 576) << at;
        EXPECT_EQ(s.frameRateNum, 25) << at;
        EXPECT_EQ(s.frameRateDen, 1) << at;
    }
}

class WMVConversion : public ::testing::Test {
protected:
    CWMVConverter& converter = CWMVConverter::Instance();
    FakeWriter writer;
    TempDir dir;
    std::string out = (dir / "out.wmv").string();
};

TEST_F(WMVConversion, DeviceClipReachesTheWriterWholeOnTwoThreads)
{
    writer.pictureDelay = std::chrono::milliseconds(2);
    const ExportOutcome done = converter.ConvertToWmv(DeviceClip().string(), out);
    ASSERT_EQ(done.cause, ExportCause::None) << done.detail;
    EXPECT_EQ(writer.settings.width, 160);
    EXPECT_EQ(writer.settings.height, 120);
    EXPECT_EQ(writer.settings.frameRateNum, 25);
    EXPECT_EQ(writer.settings.frameRateDen, 1);
    EXPECT_EQ(writer.settings.videoBitRate, 6000000);
    EXPECT_EQ(writer.settings.sampleRate, 48000);
    EXPECT_EQ(writer.settings.channels, 2);
    EXPECT_EQ(writer.settings.audioBitRate, 128016);
    EXPECT_EQ(writer.settings.inputSampleRate, 48000);
    EXPECT_EQ(writer.settings.inputChannels, 2);

    // Every picture, in order, from the start; every sound frame.
    ASSERT_EQ(writer.videoPts.size(), 50u);
    EXPECT_EQ(writer.videoPts.front(), 0);
    for (size_t i = 1; i < writer.videoPts.size(); ++i)
        EXPECT_NEAR(writer.videoPts[i] - writer.videoPts[i - 1], 40000, 1) << i;
    EXPECT_NEAR(static_cast<double>(writer.audioFrames), 96000.0, 2 * 1152.0);
    EXPECT_EQ(writer.closes, 1);
    EXPECT_EQ(writer.aborts, 0);

    // The two streams encode on two threads, at the same time.
    ASSERT_EQ(writer.videoThreads.size(), 1u);
    ASSERT_EQ(writer.audioThreads.size(), 1u);
    EXPECT_NE(*writer.videoThreads.begin(), *writer.audioThreads.begin());
    EXPECT_TRUE(writer.overlapped);

    const auto progress = converter.GetProgress();
    EXPECT_NEAR(progress.total, 2000, 100);
    EXPECT_EQ(progress.position, progress.total);
}

TEST_F(WMVConversion, EndsWhenBothStreamsEndAndDropsAThirdStream)
{
    // The video stops after 1 s, the sound after 2 s; the second sound stream never reaches the writer.
    const ExportOutcome done = converter.ConvertToWmv(ClipWithThirdStream().string(), out);
    ASSERT_EQ(done.cause, ExportCause::None) << done.detail;
    EXPECT_EQ(writer.videoPts.size(), 10u);
    EXPECT_EQ(writer.settings.sampleRate, 44100);
    EXPECT_NEAR(static_cast<double>(writer.audioFrames), 88200.0, 2 * 1152.0);
    EXPECT_EQ(writer.closes, 1);
}

TEST_F(WMVConversion, PixelShapeFollowsTheSourcesDisplayAspect)
{
    // 4:3 and 16:9 pictures at 720x480 keep their shape; square pixels declare none.
    const struct {
        std::string sar;
        int num, den;
    } cases[] = {{"8/9", 8, 9}, {"32/27", 32, 27}, {"1/1", 0, 0}};
    for (const auto& c : cases) {
        const ExportOutcome done = converter.ConvertToWmv(ShapedDeviceClip(c.sar).string(), out);
        ASSERT_EQ(done.cause, ExportCause::None) << done.detail;
        EXPECT_EQ(writer.settings.sampleAspectNum, c.num) << c.sar;
        EXPECT_EQ(writer.settings.sampleAspectDen, c.den) << c.sar;
        EXPECT_EQ(writer.settings.frameRateNum, 30000) << c.sar;
        EXPECT_EQ(writer.settings.frameRateDen, 1001) << c.sar;
    }
}

TEST_F(WMVConversion, SoundIsWrittenAtTheProfilesRateAndChannels)
{
    // 32 kHz mono arrives as it is and is written at 44100 Hz stereo.
    const ExportOutcome done = converter.ConvertToWmv(MonoDeviceClip().string(), out);
    ASSERT_EQ(done.cause, ExportCause::None) << done.detail;
    EXPECT_EQ(writer.settings.sampleRate, 44100);
    EXPECT_EQ(writer.settings.channels, 2);
    EXPECT_EQ(writer.settings.audioBitRate, 96000);
    EXPECT_EQ(writer.settings.inputSampleRate, 32000);
    EXPECT_EQ(writer.settings.inputChannels, 1);
    EXPECT_NEAR(static_cast<double>(writer.audioFrames), 32000.0, 2 * 1152.0);
}

TEST_F(WMVConversion, FailuresLeaveNoDestination)
{
    // The reserved working file exists before the conversion, as the export record leaves it.
    WriteFile(out, "");
    ExportOutcome outcome = converter.ConvertToWmv(ClipWithoutAudio().string(), out);
    EXPECT_TRUE(outcome.Failed());
    EXPECT_NE(outcome.detail.find("no audio"), std::string::npos) << outcome.detail;
    EXPECT_FALSE(fs::exists(out));

    EXPECT_TRUE(converter.ConvertToWmv((dir / "missing.mp4").string(), out).Failed());
    EXPECT_FALSE(fs::exists(out));

    // The writer's own status reaches the caller: a full disk is a full disk.
    writer.failVideoAt = 3;
    writer.failStatus = -ENOSPC;
    outcome = converter.ConvertToWmv(DeviceClip().string(), out);
    EXPECT_EQ(outcome.cause, ExportCause::WriteFailed);
    EXPECT_EQ(outcome.Errno(), ENOSPC);
    EXPECT_NE(outcome.detail.find("refused a picture"), std::string::npos) << outcome.detail;
    EXPECT_EQ(writer.closes, 0);
    EXPECT_EQ(writer.aborts, 1);
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(WMVConversion, AFailureAfterTheOtherStreamEndedWinsOverCompletion)
{
    // The sound of this clip ends after 1 s, the pictures fail at the last one of 2 s.
    const fs::path clip = SynthMedia("wmv-short-sound.mp4",
                                     {"-f", "lavfi", "-i", "testsrc=size=96x64:rate=10:duration=2", "-f", "lavfi",
                                      "-i", "sine=sample_rate=44100:duration=1", "-c:v", "mpeg4", "-c:a", "libmp3lame"});
    writer.failVideoAt = 19;
    EXPECT_EQ(converter.ConvertToWmv(clip.string(), out).cause, ExportCause::WriteFailed);
    EXPECT_EQ(writer.videoPts.size(), 19u);
    EXPECT_EQ(writer.closes, 0);
    EXPECT_EQ(writer.aborts, 1);
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(WMVConversion, StopDuringTheWaitEndsWithinOneStepAndRemovesThePartialFile)
{
    writer.pictureDelay = std::chrono::milliseconds(40); // 2 s of pictures
    std::thread stopper([&] {
        while (writer.pictures.load() < 3)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        converter.RequestStop();
    });
    const auto start = std::chrono::steady_clock::now();
    const ExportOutcome outcome = converter.ConvertToWmv(DeviceClip().string(), out);
    const auto took = std::chrono::steady_clock::now() - start;
    stopper.join();
    EXPECT_LT(took, std::chrono::milliseconds(1200));
    EXPECT_EQ(outcome.cause, ExportCause::Stopped);
    EXPECT_EQ(writer.aborts, 1);
    EXPECT_EQ(writer.closes, 0);
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(WMVConversion, RecordingCutShortEndsEarlyWithItsPartWritten)
{
    // Cut, it says it ended early, and the writer still finished what was there.
    for (const int percent : {10, 50, 99}) {
        const fs::path cut = CutCopy(LongDeviceClip(), percent, dir / ("cut" + std::to_string(percent) + ".mp4"));
        const int closesBefore = writer.closes;
        writer.videoPts.clear();
        const ExportOutcome outcome = converter.ConvertToWmv(cut.string(), out);
        EXPECT_EQ(outcome.cause, ExportCause::EndedEarly) << percent;
        EXPECT_EQ(outcome.detail, "the recording ended early");
        EXPECT_EQ(writer.closes, closesBefore + 1) << percent;
        EXPECT_TRUE(fs::exists(out)) << percent;
        EXPECT_NEAR(writer.videoPts.size() / 10.0, percent, 3) << percent; // 1000 pictures in all
    }

    // A length sidecar that says more than the file holds: 2 s of pictures where the card says 4.
    EXPECT_EQ(converter.ConvertToWmv(DeviceClip().string(), out, 4000).cause, ExportCause::EndedEarly);
    // Whole seconds in the sidecar: 2 s said of 2 s held is no shortfall.
    const ExportOutcome whole = converter.ConvertToWmv(DeviceClip().string(), out, 2000);
    EXPECT_EQ(whole.cause, ExportCause::None) << whole.detail;
}
