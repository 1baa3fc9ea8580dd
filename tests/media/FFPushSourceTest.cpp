// The push source on its own: what it loads, the types its pins propose and take, and the bound on the
// queue of the stream that is not being read.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "media/WmvTestMedia.h"
#include "media/wmv/FFPushSource.h"

using namespace tq9;
using namespace tq9test;

TEST(FFPushSource, LoadNeedsAVideoAndAnAudioStream)
{
    CFFPushSource source;
    EXPECT_EQ(source.Load(nullptr, nullptr), E_POINTER);
    EXPECT_EQ(source.Load("/nonexistent/clip.mp4", nullptr), E_FAIL);

    CFFPushSource silent;
    EXPECT_EQ(silent.Load(ClipWithoutAudio().c_str(), nullptr), E_FAIL);
    EXPECT_NE(silent.LastError().find("no audio"), std::string::npos);

    CFFPushSource loaded;
    ASSERT_EQ(loaded.Load(DeviceClip().c_str(), nullptr), S_OK);
    EXPECT_EQ(loaded.Load(DeviceClip().c_str(), nullptr), E_FAIL); // once only
    std::string name;
    CMediaType type;
    EXPECT_EQ(loaded.GetCurFile(nullptr, nullptr), E_POINTER);
    EXPECT_EQ(loaded.GetCurFile(&name, &type), S_OK);
    EXPECT_EQ(name, DeviceClip().string());
    EXPECT_EQ(type.majorType, MajorType::Stream);
    REFERENCE_TIME duration = 0;
    loaded.GetDuration(duration);
    EXPECT_NEAR(static_cast<double>(duration), 2e7, 1e6);
    EXPECT_EQ(loaded.FrameDurationUs(), 40000);
}

TEST(FFPushSource, PinsProposeOneTypeAndTakeOnlyTheirOwn)
{
    CFFPushSource source;
    ASSERT_EQ(source.Load(DeviceClip().c_str(), nullptr), S_OK);
    ASSERT_EQ(source.GetPinCount(), 2);
    CBasePin& video = *source.GetPin(0);
    CBasePin& audio = *source.GetPin(1);
    EXPECT_EQ(video.Name(), "V Out");
    EXPECT_EQ(audio.Name(), "A Out");

    CMediaType type;
    EXPECT_EQ(video.GetMediaType(-1, type), E_INVALIDARG);
    EXPECT_EQ(video.GetMediaType(1, type), VFW_S_NO_MORE_ITEMS);
    EXPECT_EQ(audio.GetMediaType(1, type), VFW_S_NO_MORE_ITEMS);

    ASSERT_EQ(video.GetMediaType(0, type), S_OK);
    VIDEOINFOHEADER2 vih{};
    ASSERT_TRUE(type.GetFormat(vih));
    EXPECT_EQ(type.subType, SubType::YV12);
    EXPECT_EQ(type.formatType, FormatType::VideoInfo2);
    EXPECT_EQ(vih.bmiHeader.biWidth, 160);
    EXPECT_EQ(vih.bmiHeader.biHeight, 120);
    EXPECT_EQ(vih.bmiHeader.biBitCount, 12);
    EXPECT_EQ(vih.bmiHeader.biSizeImage, 160u * 120 * 3 / 2);
    EXPECT_EQ(type.sampleSize, 160u * 120 * 3 / 2);
    EXPECT_EQ(video.CheckMediaType(&type), S_OK);
    vih.bmiHeader.biWidth = 176;
    type.SetFormat(FormatType::VideoInfo2, vih);
    EXPECT_EQ(video.CheckMediaType(&type), E_INVALIDARG);
    EXPECT_EQ(video.CheckMediaType(nullptr), E_POINTER);

    ASSERT_EQ(audio.GetMediaType(0, type), S_OK);
    WAVEFORMATEX wfx{};
    ASSERT_TRUE(type.GetFormat(wfx));
    EXPECT_EQ(type.format.size(), 18u);
    EXPECT_EQ(wfx.wFormatTag, kWaveFormatPcm);
    EXPECT_EQ(wfx.nChannels, 2);
    EXPECT_EQ(wfx.nSamplesPerSec, 48000u);
    EXPECT_EQ(wfx.nAvgBytesPerSec, 192000u);
    EXPECT_EQ(wfx.nBlockAlign, 4);
    EXPECT_EQ(audio.CheckMediaType(&type), S_OK);
    EXPECT_EQ(video.CheckMediaType(&type), E_INVALIDARG);
    wfx.nSamplesPerSec = 44100;
    type.SetFormat(FormatType::WaveFormatEx, wfx);
    EXPECT_EQ(audio.CheckMediaType(&type), E_INVALIDARG);
}

TEST(FFPushSource, TimeBaseInMillisecondsIsCorrected)
{
    int num = 1001, den = 1;
    CFFPushSource::CorrectTimeBase(num, den);
    EXPECT_EQ(den, 1000);
    num = 1000, den = 1;
    CFFPushSource::CorrectTimeBase(num, den);
    EXPECT_EQ(den, 1);
    num = 1001, den = 30000;
    CFFPushSource::CorrectTimeBase(num, den);
    EXPECT_EQ(den, 30000);
}

TEST(FFPushSource, QueueOfTheStreamNotReadIsBounded)
{
    // 600 small pictures and a few seconds of sound: reading only the sound must stop at the bound.
    const fs::path clip = SynthMedia("wmv-many-pictures.mp4",
                                     {"-f", "lavfi", "-i", "testsrc=size=32x32:rate=100:duration=6", "-f", "lavfi",
                                      "-i", "sine=sample_rate=22050:duration=6", "-c:v", "mpeg4", "-c:a", "libmp3lame"});
    CFFPushSource source;
    ASSERT_EQ(source.Load(clip.c_str(), nullptr), S_OK);
    std::atomic<int> soundPackets{0};
    std::atomic<bool> ended{false};
    std::thread reader([&] {
        HRESULT status = S_OK;
        while (source.NextPacket(CFFPushSource::kAudio, status))
            ++soundPackets;
        ended = status == S_FALSE;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (source.QueuedPackets(CFFPushSource::kVideo) < CFFPushSource::kMaxQueuedPackets &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(source.QueuedPackets(CFFPushSource::kVideo), CFFPushSource::kMaxQueuedPackets);
    EXPECT_FALSE(ended.load());

    // Once the video pin takes nothing more, its packets are dropped and the sound reads to the end.
    source.PinFinished(CFFPushSource::kVideo);
    reader.join();
    EXPECT_TRUE(ended.load());
    EXPECT_EQ(source.QueuedPackets(CFFPushSource::kVideo), 0u);
    EXPECT_GT(soundPackets.load(), 100);
}
