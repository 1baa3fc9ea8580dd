// The export's reader on its own: what it opens, the rationals it hands on, and the bound on the queue of
// the stream that is not being read.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "media/WmvTestMedia.h"
#include "media/wmv/ExportReader.h"

using namespace tq9;
using namespace tq9test;

TEST(ExportReader, OpensARecordingWithVideoAndAudioOnly)
{
    EXPECT_EQ(CExportReader().Open("/nonexistent/clip.mp4").cause, ExportCause::NotMedia);
    const ExportOutcome silent = CExportReader().Open(ClipWithoutAudio().string());
    EXPECT_EQ(silent.cause, ExportCause::NotMedia);
    EXPECT_NE(silent.detail.find("no audio"), std::string::npos);

    CExportReader reader;
    ASSERT_FALSE(reader.Open(DeviceClip().string()).Failed());
    EXPECT_NEAR(static_cast<double>(reader.DurationUs()), 2e6, 1e5);
    const Tq9MediaStreamInfo& video = reader.Info(CExportReader::kVideo);
    EXPECT_EQ(video.width, 160);
    EXPECT_EQ(video.frameRateNum, 25);
    EXPECT_EQ(video.frameRateDen, 1);
    EXPECT_EQ(reader.Info(CExportReader::kAudio).sampleRate, 48000);

    // NTSC's rate stays the exact rational, not a period rounded to the microsecond.
    CExportReader ntsc;
    ASSERT_FALSE(ntsc.Open(ShapedDeviceClip("8/9").string()).Failed());
    EXPECT_EQ(ntsc.Info(CExportReader::kVideo).frameRateNum, 30000);
    EXPECT_EQ(ntsc.Info(CExportReader::kVideo).frameRateDen, 1001);
}

TEST(ExportReader, QueueOfTheStreamNotReadIsBounded)
{
    // 600 small pictures and a few seconds of sound: reading only the sound must stop at the bound.
    const fs::path clip = SynthMedia("wmv-many-pictures.mp4",
                                     {"-f", "lavfi", "-i", "testsrc=size=32x32:rate=100:duration=6", "-f", "lavfi",
                                      "-i", "sine=sample_rate=22050:duration=6", "-c:v", "mpeg4", "-c:a", "libmp3lame"});
    CExportReader reader;
    ASSERT_FALSE(reader.Open(clip.string()).Failed());
    std::atomic<int> soundPackets{0};
    std::atomic<bool> ended{false};
    std::thread sound([&] {
        int status = 0;
        while (reader.NextPacket(CExportReader::kAudio, status))
            ++soundPackets;
        ended = status == TQ9_MEDIA_EOF;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (reader.QueuedPackets(CExportReader::kVideo) < CExportReader::kMaxQueuedPackets &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(reader.QueuedPackets(CExportReader::kVideo), CExportReader::kMaxQueuedPackets);
    EXPECT_FALSE(ended.load());

    // Once the pictures take nothing more, their packets are dropped and the sound reads to the end.
    reader.Finish(CExportReader::kVideo);
    sound.join();
    EXPECT_TRUE(ended.load());
    EXPECT_EQ(reader.QueuedPackets(CExportReader::kVideo), 0u);
    EXPECT_GT(soundPackets.load(), 100);

    // A stop wakes a stream that waits, and every later call says so.
    int status = 0;
    reader.Stop();
    EXPECT_EQ(reader.NextPacket(CExportReader::kAudio, status), nullptr);
    EXPECT_EQ(status, CExportReader::kStopped);
}
