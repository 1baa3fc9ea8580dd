// The argument vectors the converter hands to the media library, compared literally.
#include <algorithm>

#include <gtest/gtest.h>

#include "support/FakeLibrary.h"
#include "media/FFMpegConverter.h"
#include "media/MediaInfo.h"
#include "media/ConverterSources.h"

using namespace tq9;
using namespace tq9test;
using tq9test::FakeLibrary;
using Args = FakeLibrary::Args;

namespace {

// The "-s" and "-vf" parts of a device conversion vector: what the geometry rules decide.
struct Geometry {
    std::string size;
    std::string rate;
    std::string pad; // empty: no "-vf"
    bool operator==(const Geometry&) const = default;
};

void PrintTo(const Geometry& g, std::ostream* os)
{
    *os << g.size << " " << g.rate << " " << g.pad;
}

Geometry GeometryOf(const Args& args)
{
    Geometry g;
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "-s")
            g.size = args[i + 1];
        if (args[i] == "-r")
            g.rate = args[i + 1];
        if (args[i] == "-vf")
            g.pad = args[i + 1];
    }
    return g;
}

class ConverterArgs : public ::testing::Test {
protected:
    Args Device(const ConversionSettings& s, const MediaInfo& info)
    {
        EXPECT_EQ(0, CFFMpegConverter::Instance().ConvertToDevice(s, "/in/src.mov", info, "/out/dst.mp4").status);
        return fake.LastCall();
    }
    Args Frame(const ConversionSettings& s, const MediaInfo& info)
    {
        EXPECT_EQ(0, CFFMpegConverter::Instance().ExtractFrame(s, "/in/src.mov", info, "/out/thumb.thm").status);
        return fake.LastCall();
    }
    FakeLibrary fake;
};

} // namespace

TEST_F(ConverterArgs, NtscLetterboxedWithoutAudioGetsSilentInputAndPad)
{
    const Args expected = {"", "-i", "/in/src.mov", "-f", "alaw", "-i", "NUL", "-acodec", "libmp3lame", "-ab",
                           "128k", "-ac", "2", "-ar", "48000", "-vcodec", "mpeg4", "-flags", "+ildct+ilme", "-top",
                           "1", "-b", "5000k", "-bt", "1000k", "-vsync", "1", "-s", "720x405", "-r", "29.97", "-vf",
                           "pad=720:480:0:37:black", "-f", "mp4", "/out/dst.mp4"};
    EXPECT_EQ(expected, Device(Settings(true, true), Source(kH264, 1920, 1080, 16, 9, false)));
}

TEST_F(ConverterArgs, PalFourByThreeWithAudio)
{
    const Args expected = {"", "-i", "/in/src.mov", "-acodec", "libmp3lame", "-ab", "128k", "-ac", "2", "-ar",
                           "48000", "-vcodec", "mpeg4", "-flags", "+ildct+ilme", "-top", "1", "-b", "5000k", "-bt",
                           "1000k", "-vsync", "1", "-s", "720x576", "-r", "25.00", "-f", "mp4", "/out/dst.mp4"};
    EXPECT_EQ(expected, Device(Settings(false, true), Source(kH264, 640, 480, 4, 3)));
}

TEST_F(ConverterArgs, LetterboxDecision)
{
    struct Case {
        const char* name;
        bool ntsc, letterBox;
        int w, h, darNum, darDen;
        Geometry expected;
    };
    const Case cases[] = {
        {"PAL 16:9 letterboxed", false, true, 1920, 1080, 16, 9, {"720x405", "25.00", "pad=720:576:0:85:black"}},
        {"flag cleared: full frame", true, false, 1920, 1080, 16, 9, {"720x480", "29.97", ""}},
        {"DAR 16:10 wins over a 16:9 pixel size", true, true, 1920, 1080, 16, 10, {"720x480", "29.97", ""}},
        {"DAR 16:9 on 1440x1080", true, true, 1440, 1080, 16, 9, {"720x405", "29.97", "pad=720:480:0:37:black"}},
        {"no DAR: 1920x1080 by pixel size", true, true, 1920, 1080, 0, 0, {"720x405", "29.97", "pad=720:480:0:37:black"}},
        {"no DAR: 854x480 by pixel size", true, true, 854, 480, 0, 0, {"720x405", "29.97", "pad=720:480:0:37:black"}},
        {"no DAR: 720x480 is not 16:9", true, true, 720, 480, 0, 0, {"720x480", "29.97", ""}},
        {"DAR 32:18 shows 16:9 too", true, true, 1920, 1080, 32, 18, {"720x405", "29.97", "pad=720:480:0:37:black"}},
        {"anamorphic 720x480 at DAR 16:9", true, true, 720, 480, 16, 9, {"720x405", "29.97", "pad=720:480:0:37:black"}},
        {"square pixels 854x480 report their own DAR", true, true, 854, 480, 427, 240,
         {"720x405", "29.97", "pad=720:480:0:37:black"}},
        {"portrait: pillarboxed like a still", true, false, 1080, 1920, 0, 0, {"302x480", "29.97", "pad=720:480:208:0:black"}},
        {"portrait on PAL: same width", false, true, 1080, 1920, 0, 0, {"302x576", "25.00", "pad=720:576:208:0:black"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Geometry g = GeometryOf(Device(Settings(c.ntsc, c.letterBox), Source(kH264, c.w, c.h, c.darNum, c.darDen)));
        EXPECT_EQ(c.expected.size, g.size);
        EXPECT_EQ(c.expected.rate, g.rate);
        EXPECT_EQ(c.expected.pad, g.pad);
    }
}

TEST_F(ConverterArgs, TurnedSourcesAreFittedAsShown)
{
    // A phone's 1920x1080 clip shown a quarter turn round is a 1080x1920 portrait; half a turn keeps it
    // landscape (and 16:9).
    MediaInfo quarter = Source(kH264, 1920, 1080, 16, 9);
    quarter.streams[0].rotation = 90;
    EXPECT_EQ((Geometry{"302x480", "29.97", "pad=720:480:208:0:black"}), GeometryOf(Device(Settings(true, true), quarter)));
    const Args frame = Frame(Settings(true, true), quarter);
    EXPECT_EQ((Args{"", "-i", "/in/src.mov", "-s", "20x36", "-ss", "5", "-vf", "pad=48:36:14:0:black", "-vframes", "1",
                    "-an", "-vcodec", "bmp", "-f", "image2", "/out/thumb.thm"}),
              frame);
    MediaInfo half = Source(kH264, 1920, 1080, 16, 9);
    half.streams[0].rotation = 180;
    EXPECT_EQ((Geometry{"720x405", "29.97", "pad=720:480:0:37:black"}), GeometryOf(Device(Settings(true, true), half)));
}

TEST_F(ConverterArgs, TwoPassVectors)
{
    const MediaInfo info = Source(kH264, 640, 480);
    const Args head = {"", "-i", "/in/src.mov", "-acodec", "libmp3lame", "-ab", "128k", "-ac", "2", "-ar", "48000",
                       "-vcodec", "mpeg4", "-flags", "+ildct+ilme", "-top", "1", "-b", "5000k", "-bt", "1000k",
                       "-vsync", "1", "-s", "720x480", "-r", "29.97"};
    for (int pass : {0, 1}) {
        EXPECT_EQ(0, CFFMpegConverter::Instance().ConvertToDeviceTwoPass(Settings(true, false), "/in/src.mov", info,
                                                                         "/out/dst.mp4", "/tmp/pass.log", pass)
                            .status);
        Args expected = head;
        expected.insert(expected.end(),
                        {"-f", "mp4", "-pass", pass == 0 ? "1" : "2", "-passlogfile", "/tmp/pass.log", "/out/dst.mp4"});
        EXPECT_EQ(expected, fake.LastCall()) << "pass " << pass;
    }
}

TEST_F(ConverterArgs, AudioAndProbeVectors)
{
    EXPECT_EQ(0, CFFMpegConverter::Instance().ConvertAudio("/in/song.wav", "/out/song.mp3").status);
    EXPECT_EQ((Args{"", "-i", "/in/song.wav", "-acodec", "libmp3lame", "-ab", "128k", "-ac", "2", "-ar", "48000",
                    "-vn", "-f", "mp3", "/out/song.mp3"}),
              fake.LastCall());

    // UTF-8 names reach the library unchanged.
    MediaInfo info;
    CFFMpegConverter::Instance().Probe("/in/日本語 ü.mp4", info);
    EXPECT_EQ((Args{"", "-i", "/in/日本語 ü.mp4"}), fake.LastCall());
    EXPECT_EQ("/in/日本語 ü.mp4", info.path);
}

TEST_F(ConverterArgs, ExtractFrameVectors)
{
    EXPECT_EQ((Args{"", "-i", "/in/src.mov", "-s", "48x36", "-vframes", "1", "-an", "-vcodec", "bmp", "-f", "image2",
                    "/out/thumb.thm"}),
              Frame(Settings(true, true), Source(kH264, 640, 480, 0, 0, true, 5000)));
    EXPECT_EQ((Args{"", "-i", "/in/src.mov", "-s", "48x36", "-ss", "5", "-vframes", "1", "-an", "-vcodec", "bmp",
                    "-f", "image2", "/out/thumb.thm"}),
              Frame(Settings(false, true), Source(kH264, 640, 480, 0, 0, true, 5001)));
    EXPECT_EQ((Args{"", "-i", "/in/src.mov", "-s", "48x27", "-ss", "5", "-vf", "pad=48:36:0:4:black", "-vframes", "1",
                    "-an", "-vcodec", "bmp", "-f", "image2", "/out/thumb.thm"}),
              Frame(Settings(true, true), Source(kH264, 1920, 1080, 16, 9, false, 60000)));
    // A negative duration is huge when compared unsigned, as the library's value is.
    const Args negative = Frame(Settings(true, false), Source(kH264, 640, 480, 0, 0, true, -1));
    EXPECT_NE(std::find(negative.begin(), negative.end(), "-ss"), negative.end());
}

TEST_F(ConverterArgs, NoUsableVideoRunsNothingAndFails)
{
    auto& conv = CFFMpegConverter::Instance();
    MediaInfo audioOnly;
    audioOnly.streams.resize(1);
    audioOnly.streams[0].codecId = TQ9_CODEC_MP3;

    // An entry no STREAM_INFO reached (codec 0) ahead of the real video stops the video selection.
    MediaInfo unnamedFirst = Source(kH264, 640, 480);
    unnamedFirst.streams.insert(unnamedFirst.streams.begin(), StreamInfo{});

    const MediaInfo empty;
    for (const MediaInfo* info : std::initializer_list<const MediaInfo*>{&audioOnly, &unnamedFirst, &empty}) {
        // A previous success must not leak into the verdict.
        ASSERT_EQ(0, conv.ConvertAudio("/a", "/b").status);
        const size_t calls = fake.Calls().size();
        EXPECT_EQ(TQ9_MEDIA_UNKNOWN, conv.ConvertToDevice(Settings(true, false), "/in/x", *info, "/out/y").status);
        conv.ConvertAudio("/a", "/b");
        EXPECT_EQ(TQ9_MEDIA_UNKNOWN,
                  conv.ConvertToDeviceTwoPass(Settings(true, false), "/in/x", *info, "/out/y", "/p", 0).status);
        conv.ConvertAudio("/a", "/b");
        EXPECT_EQ(TQ9_MEDIA_UNKNOWN, conv.ExtractFrame(Settings(true, false), "/in/x", *info, "/out/y").status);
        EXPECT_EQ(calls + 2, fake.Calls().size()) << "only the two audio conversions reached the library";
    }
}
