// Probe recording, progress and stop handling, the chunked copy and the converters' thread safety.
#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/FakeLibrary.h"
#include "support/TestSupport.h"
#include "media/FFMpegConverter.h"
#include "media/MediaInfo.h"
#include "media/wmv/WMVConverter.h"
#include "platform/FileIo.h"

using namespace tq9;
using tq9test::FakeLibrary;
using tq9test::TempDir;
namespace fs = std::filesystem;

TEST(ProbeRecording, EventsFillTheRecordAndGrowTheStreamArray)
{
    FakeLibrary fake;
    static const char kFormat[] = "mov,mp4,m4a,3gp,3g2,mj2";
    fake.SetScript([](const tq9test::ArgView&, const FakeLibrary::Send& send) {
        send(TQ9_EVENT_FORMAT_INFO, 0, Tq9EventFromString(kFormat));
        send(TQ9_EVENT_DURATION, 0, Tq9EventPair(1, 12345)); // only the low half counts
        send(TQ9_EVENT_STREAM_INFO, 0, TQ9_CODEC_MPEG4);
        send(TQ9_EVENT_RESOLUTION, 0, Tq9EventPair(1440, 1080));
        send(TQ9_EVENT_DAR, 0, Tq9EventPair(16, 9));
        send(TQ9_EVENT_PAR, 0, Tq9EventPair(4, 3));
        send(TQ9_EVENT_V_BIT_RATE, 0, Tq9EventFromDouble(4.5e6));
        send(7, 0, 99);
        send(TQ9_EVENT_STREAM_INFO, 1, TQ9_CODEC_MP3);
        send(TQ9_EVENT_A_BIT_RATE, 1, Tq9EventFromDouble(128000.5));
        send(TQ9_EVENT_SAMPLING_RATE, 1, 48000);
        send(TQ9_EVENT_CHANNEL, 1, 2);
        send(TQ9_EVENT_STATUS, 0, 0);
        return 0;
    });
    MediaInfo info;
    EXPECT_EQ(0, CFFMpegConverter::Instance().Probe("/x.mp4", info).status);
    EXPECT_EQ(kFormat, info.formatName);
    EXPECT_EQ(12345, info.durationMs);
    EXPECT_EQ(12345, CFFMpegConverter::Instance().GetProgress().total);
    ASSERT_EQ(2u, info.streams.size());
    const auto& v = info.streams[0];
    EXPECT_EQ(13u, v.codecId);
    EXPECT_EQ(1440, v.width);
    EXPECT_EQ(1080, v.height);
    EXPECT_EQ(16, v.darNum);
    EXPECT_EQ(9, v.darDen);
    EXPECT_EQ(4, v.parNum);
    EXPECT_EQ(3, v.parDen);
    EXPECT_DOUBLE_EQ(4.5e6, v.videoBitRate);
    const auto& a = info.streams[1];
    EXPECT_EQ(0x15001u, a.codecId);
    EXPECT_DOUBLE_EQ(128000.5, a.audioBitRate);
    EXPECT_EQ(48000, a.sampleRate);
    EXPECT_EQ(2, a.channels);
    EXPECT_EQ(0, a.width);
    EXPECT_TRUE(IsMpeg4Mp3(info));
}

TEST(ProbeRecording, GrowthRule)
{
    MediaInfo info;
    info.Record(TQ9_EVENT_CHANNEL, 5, 2);
    ASSERT_EQ(6u, info.streams.size());
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(0u, info.streams[i].codecId + info.streams[i].channels) << i;
    EXPECT_EQ(2, info.streams[5].channels);

    // File-level kinds grow the array too, but never shrink it.
    info.Record(TQ9_EVENT_DURATION, 7, 100);
    EXPECT_EQ(8u, info.streams.size());
    info.Record(TQ9_EVENT_STATUS, 2, 0);
    EXPECT_EQ(8u, info.streams.size());

    // A bad stream id from the library neither crashes nor allocates without bound; file-level values
    // still count.
    info.Record(TQ9_EVENT_CHANNEL, -1, 2);
    info.Record(TQ9_EVENT_RESOLUTION, 0x7FFFFFFF, Tq9EventPair(1, 1));
    info.Record(TQ9_EVENT_DURATION, -3, 4321);
    EXPECT_EQ(8u, info.streams.size());
    EXPECT_EQ(4321, info.durationMs);

    info.Record(TQ9_EVENT_FORMAT_INFO, 0, 0);
    EXPECT_EQ("", info.formatName);
}

TEST(ProbeRecording, IsMpeg4Mp3)
{
    auto make = [](std::initializer_list<uint32_t> codecs) {
        MediaInfo info;
        for (uint32_t c : codecs) {
            StreamInfo s;
            s.codecId = c;
            info.streams.push_back(s);
        }
        return info;
    };
    EXPECT_TRUE(IsMpeg4Mp3(make({13, 0x15001})));
    EXPECT_TRUE(IsMpeg4Mp3(make({0x15001, 13})));
    EXPECT_TRUE(IsMpeg4Mp3(make({13, 0x15001, 0x15002})));
    EXPECT_FALSE(IsMpeg4Mp3(make({13, 0x15002})));      // MPEG-4 with AAC
    EXPECT_FALSE(IsMpeg4Mp3(make({0x15001})));          // audio-only MP3
    EXPECT_FALSE(IsMpeg4Mp3(make({27, 0x15001})));      // H.264 with MP3
    EXPECT_FALSE(IsMpeg4Mp3(make({0, 13, 0x15001})));   // unnamed entry first
    EXPECT_FALSE(IsMpeg4Mp3(make({13, 0x15002, 0x15001}))); // first audio decides
    EXPECT_FALSE(IsMpeg4Mp3(make({13})));
    EXPECT_FALSE(IsMpeg4Mp3(MediaInfo{}));
}

TEST(ConverterRun, StatusProgressAndStop)
{
    FakeLibrary fake;
    auto& conv = CFFMpegConverter::Instance();

    // No status reported: the generic failure stays.
    fake.SetScript([](const tq9test::ArgView&, const FakeLibrary::Send&) { return 0; });
    EXPECT_EQ(TQ9_MEDIA_UNKNOWN, conv.ConvertAudio("/a", "/b").status);
    EXPECT_EQ(1, conv.GetProgress().total);

    // A stop requested between operations is forgotten; one requested during a run is answered with -1
    // from then on, and the library's final status is what counts.
    std::vector<int> answers;
    fake.SetScript([&](const tq9test::ArgView&, const FakeLibrary::Send& send) {
        answers.push_back(send(TQ9_EVENT_DURATION, 0, 2000));
        answers.push_back(send(TQ9_EVENT_POSITION, 0, 500));
        CFFMpegConverter::Instance().RequestStop();
        answers.push_back(send(TQ9_EVENT_POSITION, 0, 600));
        answers.push_back(send(TQ9_EVENT_STATUS, 0, static_cast<int64_t>(static_cast<uint32_t>(-1094995529))));
        return -1094995529;
    });
    conv.RequestStop();
    EXPECT_EQ(-1094995529, conv.ConvertAudio("/a", "/b").status);
    EXPECT_EQ((std::vector<int>{0, 0, -1, -1}), answers);
    EXPECT_EQ(600, conv.GetProgress().position);
    EXPECT_EQ(2000, conv.GetProgress().total);
}

TEST(ConverterRun, ProgressIsReadableWhileRunningAndOperationsTakeTurns)
{
    FakeLibrary fake;
    auto& conv = CFFMpegConverter::Instance();
    std::atomic<int> inside{0};
    std::atomic<int> overlap{0};
    fake.SetScript([&](const tq9test::ArgView&, const FakeLibrary::Send& send) {
        if (inside.fetch_add(1) != 0)
            overlap = 1;
        send(TQ9_EVENT_DURATION, 0, 100000);
        for (int ms = 0; ms <= 100000; ms += 10)
            send(TQ9_EVENT_POSITION, 0, ms);
        send(TQ9_EVENT_STATUS, 0, 0);
        inside.fetch_sub(1);
        return 0;
    });
    std::atomic<bool> done{false};
    std::thread reader([&] {
        // position and total come from one read: a fresh operation (total 1) never shows the
        // previous one's position.
        while (!done) {
            const auto p = conv.GetProgress();
            EXPECT_LE(p.position, p.total);
            if (p.total == 1) {
                EXPECT_EQ(0, p.position);
            }
        }
    });
    std::thread a([&] { conv.ConvertAudio("/a", "/b"); });
    std::thread b([&] { conv.ConvertAudio("/c", "/d"); });
    a.join();
    b.join();
    done = true;
    reader.join();
    EXPECT_EQ(0, overlap.load()) << "two operations ran inside the library at once";
    EXPECT_EQ(2u, fake.Calls().size());
}

TEST(ConverterRun, InstanceRaceYieldsOneObjectPerClass)
{
    std::vector<std::future<std::pair<void*, void*>>> results;
    for (int i = 0; i < 8; ++i)
        results.push_back(std::async(std::launch::async, [] {
            return std::pair<void*, void*>(&CFFMpegConverter::Instance(), &CWMVConverter::Instance());
        }));
    std::set<void*> ff, wmv;
    for (auto& r : results) {
        auto [a, b] = r.get();
        ff.insert(a);
        wmv.insert(b);
    }
    EXPECT_EQ(1u, ff.size());
    EXPECT_EQ(1u, wmv.size());
    EXPECT_NE(*ff.begin(), *wmv.begin());
}

class CopyFileTest : public ::testing::Test {
protected:
    void TearDown() override { CFileIo::FailNthCall(0, 0); }
    TempDir dir;
};

TEST_F(CopyFileTest, CopiesIntoTheReservedFile)
{
    std::string data(5000, '\0');
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7);
    tq9test::WriteFile(dir / "src", data);
    tq9test::WriteFile(dir / "dst", "");
    for (CConverterState* conv : {static_cast<CConverterState*>(&CFFMpegConverter::Instance()),
                                  static_cast<CConverterState*>(&CWMVConverter::Instance())}) {
        conv->RequestStop(); // forgotten: the copy sets the flag again
        EXPECT_EQ(0, conv->CopyFile((dir / "src").string(), (dir / "dst").string()).status);
        EXPECT_EQ(5000, conv->GetProgress().position);
        EXPECT_EQ(5000, conv->GetProgress().total);
        EXPECT_EQ(data, tq9test::ReadFile(dir / "dst"));
    }
}

TEST_F(CopyFileTest, MissingFilesFailWithoutCreatingAnything)
{
    auto& conv = CFFMpegConverter::Instance();
    tq9test::WriteFile(dir / "src", "abc");
    EXPECT_EQ(-ENOENT, conv.CopyFile((dir / "src").string(), (dir / "absent").string()).status)
        << "the cause travels with the outcome";
    EXPECT_FALSE(std::filesystem::exists(dir / "absent"));

    tq9test::WriteFile(dir / "dst", "");
    EXPECT_EQ(-ENOENT, conv.CopyFile((dir / "nosrc").string(), (dir / "dst").string()).status);
}

TEST_F(CopyFileTest, ReadErrorIsNotReportedAsSuccess)
{
    auto& conv = CFFMpegConverter::Instance();
    tq9test::WriteFile(dir / "src", std::string(4000, 'x'));
    tq9test::WriteFile(dir / "dst", "");
    // OpenRead, OpenWriteExisting, Read, WriteAll, then the second Read fails.
    CFileIo::ResetCallCount();
    CFileIo::FailNthCall(5, EIO);
    EXPECT_EQ(-EIO, conv.CopyFile((dir / "src").string(), (dir / "dst").string()).status);
}

TEST_F(CopyFileTest, ProgressOfAFileOverTwoGigabytesKeepsItsRatio)
{
    const fs::path src = dir / "big";
    { std::ofstream(src.string()).flush(); }
    fs::resize_file(src, 3ull << 30); // sparse: costs no disk
    tq9test::WriteFile(dir / "dst", "");
    auto& conv = CFFMpegConverter::Instance();
    auto copy = std::async(std::launch::async, [&] { return conv.CopyFile(src.string(), (dir / "dst").string()); });
    // Only this copy sets that total, so an earlier operation's progress cannot be mistaken for it.
    const auto kTotalKiB = static_cast<int32_t>(3u << 20);
    CConverterState::Progress p;
    do
        p = conv.GetProgress();
    while (p.total != kTotalKiB || p.position == 0);
    conv.RequestStop();
    EXPECT_TRUE(copy.get().StoppedByUser());
    EXPECT_EQ(kTotalKiB, conv.GetProgress().total);
    EXPECT_GT(conv.GetProgress().position, 0);
    EXPECT_LT(conv.GetProgress().position, conv.GetProgress().total);
}

TEST_F(CopyFileTest, StopEndsAfterTheCurrentBlock)
{
    // Large enough that the copy is still under way when the stop comes (a FIFO source is refused).
    std::string source(32u << 20, '\0');
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = static_cast<char>(i * 131 % 251); // a misplaced block shows
    tq9test::WriteFile(dir / "src", source);
    tq9test::WriteFile(dir / "dst", "");
    tq9test::WriteFile(dir / "other", "x");
    ASSERT_FALSE(CFFMpegConverter::Instance().CopyFile((dir / "other").string(), (dir / "dst").string()).Failed());
    auto& conv = CWMVConverter::Instance();
    auto copy = std::async(std::launch::async, [&] { return conv.CopyFile((dir / "src").string(), (dir / "dst").string()); });
    // This copy's own total tells its progress from an earlier operation's.
    for (CConverterState::Progress p = conv.GetProgress();
         p.total != static_cast<int32_t>(source.size()) || p.position < 3000; p = conv.GetProgress())
        std::this_thread::yield();
    conv.RequestStop();
    EXPECT_TRUE(copy.get().StoppedByUser());
    // What was copied is a whole prefix of the source, cut at a block's end.
    const std::string copied = tq9test::ReadFile(dir / "dst");
    EXPECT_GE(copied.size(), 3000u);
    EXPECT_LT(copied.size(), source.size());
    EXPECT_EQ(copied.size() % CFileIo::kBlockSize, 0u);
    EXPECT_EQ(copied, source.substr(0, copied.size()));
    // The other converter's state is its own.
    EXPECT_EQ(1, CFFMpegConverter::Instance().GetProgress().total);
}
