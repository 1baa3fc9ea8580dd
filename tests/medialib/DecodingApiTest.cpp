// The decoding API of libtq9media (for the WMV export pipeline).
#include "MediaLibTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

using namespace tq9test;

namespace {

struct FileCloser {
    void operator()(Tq9MediaFile* f) const { Tq9MediaClose(f); }
};
using FilePtr = std::unique_ptr<Tq9MediaFile, FileCloser>;
struct PacketFreer {
    void operator()(Tq9MediaPacket* p) const { Tq9MediaPacketFree(p); }
};
using PacketPtr = std::unique_ptr<Tq9MediaPacket, PacketFreer>;

FilePtr Open(const fs::path& path)
{
    Tq9MediaFile* f = nullptr;
    EXPECT_EQ(Tq9MediaOpen(path.string().c_str(), &f), 0) << path;
    return FilePtr(f);
}

struct Totals {
    int pictures = 0;
    int64_t soundFrames = 0;
    int64_t lastPicturePts = TQ9_MEDIA_TIME_NONE;
    bool picturesInOrder = true;
    bool planesOk = true;
    int64_t checksum = 0;
};

// Reads every packet and decodes both streams on one thread.
Totals DecodeAll(Tq9MediaFile* f, int video, int audio)
{
    Totals t;
    auto takePictures = [&] {
        Tq9MediaPicture pic{};
        while (Tq9MediaReceivePicture(f, video, &pic) == 0) {
            ++t.pictures;
            if (t.lastPicturePts != TQ9_MEDIA_TIME_NONE && pic.ptsUs <= t.lastPicturePts)
                t.picturesInOrder = false;
            t.lastPicturePts = pic.ptsUs;
            if (!pic.planes[0] || !pic.planes[1] || !pic.planes[2] || pic.lineSizes[0] < pic.width ||
                pic.lineSizes[1] < (pic.width + 1) / 2)
                t.planesOk = false;
            t.checksum += pic.planes[0][0] + pic.planes[1][0] + pic.planes[2][0];
        }
    };
    auto takeSound = [&] {
        Tq9MediaSound s{};
        while (Tq9MediaReceiveSound(f, audio, &s) == 0) {
            t.soundFrames += s.frames;
            EXPECT_EQ(s.channels, 1);
            EXPECT_EQ(s.sampleRate, 44100);
        }
    };
    for (;;) {
        Tq9MediaPacket* raw = nullptr;
        int rc = Tq9MediaReadPacket(f, &raw);
        if (rc == TQ9_MEDIA_EOF)
            break;
        EXPECT_EQ(rc, 0);
        if (rc < 0)
            break;
        PacketPtr p(raw);
        const int stream = Tq9MediaPacketStream(p.get());
        if (stream == video) {
            EXPECT_EQ(Tq9MediaSendPacket(f, p.get()), 0);
            takePictures();
        } else if (stream == audio) {
            EXPECT_EQ(Tq9MediaSendPacket(f, p.get()), 0);
            takeSound();
        }
    }
    if (video >= 0) {
        EXPECT_EQ(Tq9MediaSendEnd(f, video), 0);
        takePictures();
        Tq9MediaPicture pic{};
        EXPECT_EQ(Tq9MediaReceivePicture(f, video, &pic), TQ9_MEDIA_EOF);
    }
    if (audio >= 0) {
        EXPECT_EQ(Tq9MediaSendEnd(f, audio), 0);
        takeSound();
    }
    return t;
}

} // namespace

TEST(DecodingApi, StreamInformation)
{
    FilePtr f = Open(SynthVideoAudio());
    ASSERT_TRUE(f);
    ASSERT_EQ(Tq9MediaStreamCount(f.get()), 2);
    EXPECT_NEAR(static_cast<double>(Tq9MediaDurationUs(f.get())), 7e6, 1e5);
    const int v = Tq9MediaFindStream(f.get(), TQ9_MEDIA_VIDEO);
    const int a = Tq9MediaFindStream(f.get(), TQ9_MEDIA_AUDIO);
    ASSERT_EQ(v, 0);
    ASSERT_EQ(a, 1);
    Tq9MediaStreamInfo vi{}, ai{};
    ASSERT_EQ(Tq9MediaGetStreamInfo(f.get(), v, &vi), 0);
    EXPECT_EQ(vi.type, TQ9_MEDIA_VIDEO);
    EXPECT_EQ(vi.width, 320);
    EXPECT_EQ(vi.height, 180);
    EXPECT_GT(vi.codecId, 0);
    EXPECT_LT(vi.codecId, 0x10000);
    EXPECT_GT(vi.timeBaseDen, 0);
    EXPECT_NEAR(static_cast<double>(vi.durationUs), 7e6, 1e5);
    ASSERT_EQ(Tq9MediaGetStreamInfo(f.get(), a, &ai), 0);
    EXPECT_EQ(ai.type, TQ9_MEDIA_AUDIO);
    EXPECT_EQ(ai.sampleRate, 44100);
    EXPECT_EQ(ai.channels, 1);
    EXPECT_GE(ai.codecId, 0x10000);
    EXPECT_GT(ai.bitRate, 0);
    EXPECT_LT(Tq9MediaGetStreamInfo(f.get(), 2, &ai), 0);
    EXPECT_EQ(Tq9MediaRescaleToUs(90000, 1, 90000), 1000000);
    EXPECT_EQ(Tq9MediaRescaleToUs(TQ9_MEDIA_TIME_NONE, 1, 90000), TQ9_MEDIA_TIME_NONE);
}

TEST(DecodingApi, DecodesEveryPictureAndSample)
{
    FilePtr f = Open(SynthVideoAudio());
    ASSERT_TRUE(f);
    ASSERT_EQ(Tq9MediaOpenDecoder(f.get(), 0), 0);
    ASSERT_EQ(Tq9MediaOpenDecoder(f.get(), 1), 0);
    ASSERT_EQ(Tq9MediaOpenDecoder(f.get(), 1), 0); // again: no-op
    Totals t = DecodeAll(f.get(), 0, 1);
    EXPECT_EQ(t.pictures, 210);
    EXPECT_TRUE(t.picturesInOrder);
    EXPECT_TRUE(t.planesOk);
    EXPECT_NEAR(static_cast<double>(t.soundFrames), 7 * 44100, 2048);
}

TEST(DecodingApi, PacketTimesAreMicroseconds)
{
    FilePtr f = Open(SynthVideoOnly()); // 25 fps
    ASSERT_TRUE(f);
    std::vector<int64_t> pts;
    for (;;) {
        Tq9MediaPacket* raw = nullptr;
        if (Tq9MediaReadPacket(f.get(), &raw) != 0)
            break;
        PacketPtr p(raw);
        EXPECT_GT(Tq9MediaPacketSize(p.get()), 0);
        EXPECT_TRUE(Tq9MediaPacketData(p.get()));
        EXPECT_NE(Tq9MediaPacketDtsUs(p.get()), TQ9_MEDIA_TIME_NONE);
        EXPECT_EQ(Tq9MediaPacketDurationUs(p.get()), 40000);
        pts.push_back(Tq9MediaPacketPtsUs(p.get()));
        if (pts.size() == 1) {
            EXPECT_TRUE(Tq9MediaPacketIsKey(p.get()));
        }
    }
    ASSERT_EQ(pts.size(), 75u);
    std::sort(pts.begin(), pts.end());
    for (size_t i = 1; i < pts.size(); ++i)
        EXPECT_EQ(pts[i] - pts[i - 1], 40000);
}

TEST(DecodingApi, ConvertsOtherPixelFormatsToYuv420)
{
    // 4:4:4 H.264 and an odd-sized FFV1 stream: both come out as 4:2:0 at the stream's size.
    for (const auto& [name, args] : std::vector<std::pair<std::string, std::vector<std::string>>>{
             {"ml-444.mp4", {"-f", "lavfi", "-i", "testsrc=s=320x180:r=25:d=1", "-c:v", "libx264", "-pix_fmt",
                                "yuv444p", "-preset", "ultrafast"}},
             {"ml-321x181.mkv", {"-f", "lavfi", "-i", "testsrc=s=321x181:r=24:d=1", "-c:v", "ffv1"}}}) {
        FilePtr f = Open(SynthMedia(name, args));
        ASSERT_TRUE(f);
        const int v = Tq9MediaFindStream(f.get(), TQ9_MEDIA_VIDEO);
        ASSERT_GE(v, 0);
        ASSERT_EQ(Tq9MediaOpenDecoder(f.get(), v), 0);
        Tq9MediaStreamInfo info{};
        Tq9MediaGetStreamInfo(f.get(), v, &info);
        Totals t = DecodeAll(f.get(), v, -1);
        EXPECT_GT(t.pictures, 20) << name;
        EXPECT_TRUE(t.planesOk) << name;
    }
}

TEST(DecodingApi, ReaderAndDecodersOnDifferentThreads)
{
    // The export pipeline's shape: one thread reads packets into two queues, one thread per stream decodes.
    FilePtr f = Open(SynthVideoAudio());
    ASSERT_TRUE(f);
    ASSERT_EQ(Tq9MediaOpenDecoder(f.get(), 0), 0);
    ASSERT_EQ(Tq9MediaOpenDecoder(f.get(), 1), 0);
    std::vector<Tq9MediaPacket*> queues[2];
    for (;;) {
        Tq9MediaPacket* p = nullptr;
        if (Tq9MediaReadPacket(f.get(), &p) != 0)
            break;
        queues[Tq9MediaPacketStream(p)].push_back(p);
    }
    int pictures = 0;
    int64_t samples = 0;
    std::thread video([&] {
        Tq9MediaPicture pic{};
        for (auto* p : queues[0]) {
            Tq9MediaSendPacket(f.get(), p);
            while (Tq9MediaReceivePicture(f.get(), 0, &pic) == 0)
                ++pictures;
        }
        Tq9MediaSendEnd(f.get(), 0);
        while (Tq9MediaReceivePicture(f.get(), 0, &pic) == 0)
            ++pictures;
    });
    std::thread audio([&] {
        Tq9MediaSound s{};
        for (auto* p : queues[1]) {
            Tq9MediaSendPacket(f.get(), p);
            while (Tq9MediaReceiveSound(f.get(), 1, &s) == 0)
                samples += s.frames;
        }
        Tq9MediaSendEnd(f.get(), 1);
        while (Tq9MediaReceiveSound(f.get(), 1, &s) == 0)
            samples += s.frames;
    });
    video.join();
    audio.join();
    for (auto& q : queues)
        for (auto* p : q)
            Tq9MediaPacketFree(p);
    EXPECT_EQ(pictures, 210);
    EXPECT_NEAR(static_cast<double>(samples), 7 * 44100, 2048);
}

TEST(DecodingApi, SubtitleStreamIsOther)
{
    fs::path file = SynthSubtitleFirst();
    FilePtr f = Open(file);
    ASSERT_TRUE(f);
    Tq9MediaStreamInfo info{};
    ASSERT_EQ(Tq9MediaGetStreamInfo(f.get(), 0, &info), 0);
    EXPECT_EQ(info.type, TQ9_MEDIA_OTHER);
    EXPECT_EQ(Tq9MediaFindStream(f.get(), TQ9_MEDIA_VIDEO), 1);
    EXPECT_EQ(Tq9MediaFindStream(f.get(), TQ9_MEDIA_AUDIO), 2);
    EXPECT_LT(Tq9MediaOpenDecoder(f.get(), 0), 0);
}

TEST(DecodingApi, Errors)
{
    Tq9MediaFile* f = reinterpret_cast<Tq9MediaFile*>(0x1);
    EXPECT_LT(Tq9MediaOpen("/no/such/file.mp4", &f), 0);
    EXPECT_EQ(f, reinterpret_cast<Tq9MediaFile*>(0x1)); // untouched on failure
    TempDir tmp;
    WriteFile(tmp / "text.mov", "not a movie\n");
    EXPECT_LT(Tq9MediaOpen((tmp / "text.mov").string().c_str(), &f), 0);
    EXPECT_LT(Tq9MediaOpen(nullptr, &f), 0);
    Tq9MediaClose(nullptr);
    Tq9MediaPacketFree(nullptr);

    FilePtr ok = Open(SynthVideoAudio());
    ASSERT_TRUE(ok);
    Tq9MediaPicture pic{};
    EXPECT_EQ(Tq9MediaReceivePicture(ok.get(), 0, &pic), -22); // no decoder open
    ASSERT_EQ(Tq9MediaOpenDecoder(ok.get(), 0), 0);
    Tq9MediaSound s{};
    EXPECT_LT(Tq9MediaReceiveSound(ok.get(), 0, &s), 0); // a video stream
    EXPECT_EQ(Tq9MediaReceivePicture(ok.get(), 0, &pic), TQ9_MEDIA_AGAIN);
    EXPECT_LT(Tq9MediaOpenDecoder(ok.get(), 7), 0);
}
