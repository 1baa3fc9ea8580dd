// The WMV converter: the profile it sets, and whole conversions through the streaming graph with a
// recording writer in place of the encoder.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "media/wmv/WMVConverter.h"
#include "media/FakeWriter.h"
#include "media/WmvTestMedia.h"

using namespace tq9;
using namespace tq9test;

namespace {

WAVEFORMATEX AudioFormat(const CAsfProfile& profile, uint32_t& bitrate, std::vector<uint8_t>& extra)
{
    const CAsfStreamConfig* audio = profile.Find(AsfStreamType::Audio);
    WAVEFORMATEX wfx{};
    EXPECT_TRUE(audio && audio->mediaType.GetFormat(wfx));
    bitrate = audio ? audio->bitrate : 0;
    if (audio)
        extra.assign(audio->mediaType.format.begin() + sizeof(WAVEFORMATEX), audio->mediaType.format.end());
    return wfx;
}

} // namespace

TEST(WMVProfile, VideoAndAudioFollowTheSource)
{
    struct Case {
        int rate;
        uint32_t bitRate;
        uint32_t streamBitRate, avgBytes, profileRate;
        uint16_t blockAlign;
    };
    // 48 kHz at 320 kbit/s asks for WMA Pro first; the writer has no such encoder, so the row stands.
    const Case cases[] = {
        {44100, 128000, 128016, 16002, 44100, 5945}, {48000, 320000, 256016, 32002, 48000, 8192},
        {48000, 99999, 96000, 12000, 48000, 4096},   {48000, 100000, 128016, 16002, 48000, 5462},
        {44100, 130000, 256016, 32002, 44100, 11889}, {32000, 64000, 96000, 12000, 44100, 4459},
        {44100, 0, 96000, 12000, 44100, 4459},
    };
    for (const Case& c : cases) {
        CAsfProfile profile = CAsfProfile::Default();
        ASSERT_EQ(CWMVConverter::AdjustProfile(profile, 720, 480, c.bitRate, c.rate), S_OK);
        uint32_t bitrate = 0;
        std::vector<uint8_t> extra;
        const WAVEFORMATEX wfx = AudioFormat(profile, bitrate, extra);
        const std::string at = std::to_string(c.rate) + "/" + std::to_string(c.bitRate);
        EXPECT_EQ(bitrate, c.streamBitRate) << at;
        EXPECT_EQ(wfx.nSamplesPerSec, c.profileRate) << at;
        EXPECT_EQ(wfx.nAvgBytesPerSec, c.avgBytes) << at;
        EXPECT_EQ(wfx.nBlockAlign, c.blockAlign) << at;
        EXPECT_EQ(wfx.nChannels, 2);
        EXPECT_EQ(wfx.wBitsPerSample, 16);
        EXPECT_EQ(wfx.wFormatTag, kWaveFormatWMAudioV2);
        EXPECT_EQ(extra, (std::vector<uint8_t>{0x00, 0x88, 0x00, 0x00, 0x0F, 0x00, 0x00, 0x00, 0x00, 0x00}));
    }

    CAsfProfile profile = CAsfProfile::Default();
    ASSERT_EQ(CWMVConverter::AdjustProfile(profile, 720, 576, 128000, 48000), S_OK);
    const CAsfStreamConfig* video = profile.Find(AsfStreamType::Video);
    VIDEOINFOHEADER vih{};
    ASSERT_TRUE(video && video->mediaType.GetFormat(vih));
    EXPECT_EQ(video->bitrate, 6000000u);
    EXPECT_EQ(vih.dwBitRate, 6000000u);
    EXPECT_EQ(vih.bmiHeader.biWidth, 720);
    EXPECT_EQ(vih.bmiHeader.biHeight, 576);
}

TEST(WMVProfile, RefusesFormatBlocksOfAnotherSize)
{
    // Video described by the second-generation video info block.
    CAsfProfile wideVideo;
    CAsfStreamConfig video;
    video.streamNumber = 1;
    video.type = AsfStreamType::Video;
    video.mediaType.majorType = MajorType::Video;
    video.mediaType.SetFormat(FormatType::VideoInfo2, VIDEOINFOHEADER2{});
    wideVideo.AddStream(video);
    EXPECT_LT(CWMVConverter::AdjustProfile(wideVideo, 160, 120, 128000, 48000), 0);

    // Audio whose wave format lacks the ten extra bytes.
    CAsfProfile shortAudio;
    CAsfStreamConfig audio;
    audio.streamNumber = 2;
    audio.type = AsfStreamType::Audio;
    audio.mediaType.SetFormat(FormatType::WaveFormatEx, WAVEFORMATEX{kWaveFormatWMAudioV2, 2, 44100, 16002, 5945, 16, 0});
    shortAudio.AddStream(audio);
    EXPECT_LT(CWMVConverter::AdjustProfile(shortAudio, 160, 120, 128000, 44100), 0);
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
    ASSERT_EQ(converter.ConvertToWmv(DeviceClip().string(), out), 0) << converter.LastError();
    EXPECT_EQ(converter.GetResult(), 0);
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
    ASSERT_EQ(converter.ConvertToWmv(ClipWithThirdStream().string(), out), 0) << converter.LastError();
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
        ASSERT_EQ(converter.ConvertToWmv(ShapedDeviceClip(c.sar).string(), out), 0) << converter.LastError();
        EXPECT_EQ(writer.settings.sampleAspectNum, c.num) << c.sar;
        EXPECT_EQ(writer.settings.sampleAspectDen, c.den) << c.sar;
        EXPECT_EQ(writer.settings.frameRateNum, 30000) << c.sar;
        EXPECT_EQ(writer.settings.frameRateDen, 1001) << c.sar;
    }
}

TEST_F(WMVConversion, SoundIsWrittenAtTheProfilesRateAndChannels)
{
    // 32 kHz mono arrives as it is and is written at 44100 Hz stereo.
    ASSERT_EQ(converter.ConvertToWmv(MonoDeviceClip().string(), out), 0) << converter.LastError();
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
    EXPECT_EQ(converter.ConvertToWmv(ClipWithoutAudio().string(), out), -1);
    EXPECT_EQ(converter.GetResult(), kConverterFailed);
    EXPECT_NE(converter.LastError().find("no audio"), std::string::npos) << converter.LastError();
    EXPECT_FALSE(fs::exists(out));

    EXPECT_EQ(converter.ConvertToWmv((dir / "missing.mp4").string(), out), -1);
    EXPECT_FALSE(fs::exists(out));

    writer.failVideoAt = 3;
    EXPECT_EQ(converter.ConvertToWmv(DeviceClip().string(), out), -1);
    EXPECT_EQ(converter.GetResult(), kConverterFailed);
    EXPECT_NE(converter.LastError().find("refused a picture"), std::string::npos) << converter.LastError();
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
    EXPECT_EQ(converter.ConvertToWmv(DeviceClip().string(), out), -1);
    const auto took = std::chrono::steady_clock::now() - start;
    stopper.join();
    EXPECT_LT(took, std::chrono::milliseconds(1200));
    EXPECT_EQ(converter.GetResult(), kConverterFailed);
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
        EXPECT_EQ(converter.ConvertToWmv(cut.string(), out), -1) << percent;
        EXPECT_EQ(converter.GetResult(), kConverterEndedEarly) << percent;
        EXPECT_EQ(converter.LastError(), "the recording ended early");
        EXPECT_EQ(writer.closes, closesBefore + 1) << percent;
        EXPECT_TRUE(fs::exists(out)) << percent;
        EXPECT_NEAR(writer.videoPts.size() / 10.0, percent, 3) << percent; // 1000 pictures in all
    }

    // A length sidecar that says more than the file holds: 2 s of pictures where the card says 4.
    EXPECT_EQ(converter.ConvertToWmv(DeviceClip().string(), out, 4000), -1);
    EXPECT_EQ(converter.GetResult(), kConverterEndedEarly);
    // Whole seconds in the sidecar: 2 s said of 2 s held is no shortfall.
    EXPECT_EQ(converter.ConvertToWmv(DeviceClip().string(), out, 2000), 0) << converter.LastError();
}
