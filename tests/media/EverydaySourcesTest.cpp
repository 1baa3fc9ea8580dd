// Sources users have, converted through the real media library and checked the way the device reads the
// results: turned phone clips, VBR audio, MPEG-PS/TS thumbnails, DV with a timecode, near-16:9 and
// anamorphic pictures, a damaged timestamp. Inputs are tiny synthesised files.
#include <gtest/gtest.h>

#include <algorithm>

#include "RealLibraryFixture.h"

using namespace tq9;
using namespace tq9test;

namespace {

// 160x120, red left half, blue right half: where red ends up tells how the picture was turned.
fs::path Halves()
{
    return SynthMedia("src-halves.mp4", {"-f", "lavfi", "-i",
                                         "color=c=blue:s=160x120:r=25:d=1,drawbox=x=0:y=0:w=80:h=120:color=red:t=fill",
                                         "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"});
}

// The same clip with a display matrix that shows it turned clockwise by degrees, as a phone writes a
// portrait clip. The muxer's "rotate" tag counts the other way round.
fs::path Turned(int degrees)
{
    return SynthMedia("src-turned" + std::to_string(degrees) + ".mp4",
                      {"-i", Halves().string(), "-c", "copy", "-metadata:s:v:0",
                       "rotate=" + std::to_string((360 - degrees) % 360)});
}

// 7 s whose brightness tells the time: luma 16 + 30 per second, so a picture's grey level dates it.
const char* kRamp = "color=c=black:s=64x48:r=25:d=7,geq=lum='16+T*30':cb=128:cr=128";

// Grey level (full-range RGB) of a picture of the ramp at t seconds.
double RampGrey(double t)
{
    return 30.0 * t * 255.0 / 219.0;
}

// A 3 s MPEG-2 PS file (.mpg) in which one video PES header claims a time 370 s later.
fs::path DamagedTimestamp()
{
    const fs::path clean = SynthMedia("src-3s.mpg", {"-f", "lavfi", "-i", "testsrc=s=160x120:r=25:d=3", "-f", "lavfi",
                                                     "-i", "sine=d=3", "-c:v", "mpeg2video", "-bf", "0", "-c:a", "mp2",
                                                     "-f", "vob"});
    const fs::path damaged = clean.parent_path() / "src-3s-jump.mpg";
    if (fs::exists(damaged))
        return damaged;
    std::string b = ReadFile(clean);
    std::vector<size_t> withPts;
    for (size_t i = b.find(std::string("\0\0\1\xE0", 4)); i != std::string::npos && i + 14 < b.size();
         i = b.find(std::string("\0\0\1\xE0", 4), i + 4))
        if ((b[i + 6] & 0xC0) == 0x80 && (b[i + 7] & 0x80))
            withPts.push_back(i);
    EXPECT_GT(withPts.size(), 4u);
    const size_t pes = withPts[withPts.size() / 2];
    // PTS (and DTS) are 33 bits spread over 5 bytes with marker bits.
    auto shift = [&](size_t p) {
        auto u = [&](size_t k) { return static_cast<uint64_t>(static_cast<unsigned char>(b[p + k])); };
        uint64_t v = ((u(0) >> 1) & 7) << 30 | u(1) << 22 | (u(2) >> 1) << 15 | u(3) << 7 | u(4) >> 1;
        v += 370ull * 90000;
        b[p] = static_cast<char>((u(0) & 0xF0) | ((v >> 29) & 0xE) | 1);
        b[p + 1] = static_cast<char>(v >> 22);
        b[p + 2] = static_cast<char>(((v >> 14) & 0xFE) | 1);
        b[p + 3] = static_cast<char>(v >> 7);
        b[p + 4] = static_cast<char>(((v << 1) & 0xFE) | 1);
    };
    shift(pes + 9);
    if (b[pes + 7] & 0x40)
        shift(pes + 14);
    WriteFile(damaged, b);
    return damaged;
}

class EverydaySources : public RealLibrary {
protected:
    fs::path Convert(const fs::path& source, const ConversionSettings& settings, const std::string& name = "out.mp4")
    {
        const fs::path out = dir / name;
        converted = conv.ConvertToDevice(settings, source.string(), ProbeOf(source), out.string());
        EXPECT_FALSE(converted.Failed()) << source;
        return out;
    }
    fs::path Thumbnail(const fs::path& source, const ConversionSettings& settings)
    {
        const fs::path out = dir / (source.stem().string() + ".thm");
        EXPECT_FALSE(conv.ExtractFrame(settings, source.string(), ProbeOf(source), out.string()).Failed()) << source;
        return out;
    }
    ConverterOutcome converted; // of the last Convert
    static double Seconds(const fs::path& file)
    {
        const std::string text = Probe(file, "format=duration"); // "duration=3.000000"
        return text.size() > 9 ? std::stod(text.substr(9)) : -1;
    }
};

} // namespace

TEST_F(EverydaySources, TurnedClipIsShownUprightAndPillarboxed)
{
    EXPECT_EQ(90, ProbeOf(Turned(90)).streams.at(0).rotation);
    const fs::path out = Convert(Turned(90), ntsc);
    EXPECT_EQ("width=720\nheight=480\n", Probe(out, "stream=width,height", "v:0"));
    EXPECT_EQ("", Probe(out, "stream_side_data=rotation", "v:0")) << "the output is upright as stored";
    // Shown 120x160: 404 of the 720 pixels wide, from x = 158, full height.
    EXPECT_TRUE(DecodedPixel(out, 360, 60).IsRed());
    EXPECT_TRUE(DecodedPixel(out, 360, 420).IsBlue());
    EXPECT_TRUE(DecodedPixel(out, 100, 240).IsBlack());
    EXPECT_TRUE(DecodedPixel(out, 620, 240).IsBlack());

    // Thumbnails: the portrait one 26 pixels wide in the middle; half a turn keeps the landscape shape.
    const fs::path quarter = Thumbnail(Turned(90), ntsc);
    EXPECT_TRUE(DecodedPixel(quarter, 24, 4).IsRed());
    EXPECT_TRUE(DecodedPixel(quarter, 24, 32).IsBlue());
    EXPECT_TRUE(DecodedPixel(quarter, 4, 18).IsBlack());
    const fs::path half = Thumbnail(Turned(180), ntsc);
    EXPECT_TRUE(DecodedPixel(half, 40, 18).IsRed());
    EXPECT_TRUE(DecodedPixel(half, 8, 18).IsBlue());
    const fs::path threeQuarters = Thumbnail(Turned(270), ntsc);
    EXPECT_TRUE(DecodedPixel(threeQuarters, 24, 4).IsBlue());
    EXPECT_TRUE(DecodedPixel(threeQuarters, 24, 32).IsRed());
}

TEST_F(EverydaySources, VariableRateAudioGetsItsRealLength)
{
    // 3 s of silence then 5 s of noise: the bit rate of the first frames is far from the average.
    const std::string sound = "anoisesrc=d=8:a=0.6:r=44100,volume=enable='lt(t,3)':volume=0";
    const fs::path adts = SynthMedia("src-vbr.aac", {"-f", "lavfi", "-i", sound, "-c:a", "aac", "-b:a", "192k"});
    const fs::path noXing = SynthMedia("src-vbr-noxing.mp3", {"-f", "lavfi", "-i", sound, "-c:a", "libmp3lame",
                                                              "-q:a", "2", "-write_xing", "0"});
    EXPECT_NEAR(8000, ProbeOf(adts).durationMs, 100);
    EXPECT_NEAR(8000, ProbeOf(noXing).durationMs, 100);

    const fs::path mp3 = dir / "song.mp3";
    const ConverterOutcome audio = conv.ConvertAudio(adts.string(), mp3.string());
    ASSERT_FALSE(audio.Failed());
    EXPECT_NEAR(8000, audio.outputLengthMs, 100);
    EXPECT_NEAR(8.0, Seconds(mp3), 0.1);
    const auto progress = conv.GetProgress();
    EXPECT_NEAR(1.0, static_cast<double>(progress.position) / progress.total, 0.02);
}

TEST_F(EverydaySources, ThumbnailOfMpegPsAndTsIsThePictureFiveSecondsIn)
{
    // One keyframe in 7 s of MPEG-2 PS, and H.264 in MPEG-TS with a keyframe every 12 pictures.
    const fs::path longGop = SynthMedia("src-ramp-longgop.mpg",
                                        {"-f", "lavfi", "-i", kRamp, "-f", "lavfi", "-i", "sine=d=7", "-c:v",
                                         "mpeg2video", "-g", "250", "-bf", "0", "-sc_threshold", "1000000000", "-q:v",
                                         "4", "-c:a", "mp2", "-f", "vob"});
    const fs::path shortGop = SynthMedia("src-ramp-gop12.mts", {"-f", "lavfi", "-i", kRamp, "-f", "lavfi", "-i",
                                                                "sine=d=7", "-c:v", "libx264", "-preset", "ultrafast",
                                                                "-g", "12", "-pix_fmt", "yuv420p", "-c:a", "aac"});
    for (const fs::path& source : {longGop, shortGop}) {
        SCOPED_TRACE(source.filename().string());
        const Rgb pixel = DecodedPixel(Thumbnail(source, ntsc), 24, 18);
        EXPECT_NEAR(RampGrey(5.0), pixel.g, 6) << "a picture from " << pixel.g / RampGrey(1.0) << " s";
    }
}

TEST_F(EverydaySources, DvTimecodeMakesNoExtraTrack)
{
    const fs::path dv = SynthMedia("src-timecode.dv", {"-f", "lavfi", "-i", "testsrc=s=720x480:r=30000/1001:d=0.5",
                                                       "-f", "lavfi", "-i", "sine=r=48000:d=0.5", "-ac", "2",
                                                       "-target", "ntsc-dv", "-timecode", "01:02:03;04"});
    const fs::path out = Convert(dv, ntsc);
    EXPECT_EQ("codec_type=video\ncodec_type=audio\n", Probe(out, "stream=codec_type"));
    EXPECT_EQ("", Probe(out, "format_tags=timecode"));
}

TEST_F(EverydaySources, SixteenByNineIsJudgedOnTheShownPicture)
{
    ConversionSettings letterbox;
    letterbox.LetterBox = 1;
    struct Case {
        const char* size;
        const char* aspect; // "-aspect", empty: square pixels
        bool wide;
    };
    // 848..863 x 480 is the tolerance of whole sixteenths and ninths; 720x480 and 720x576 are shown at
    // 16:9 or 4:3 by their pixel aspect.
    const Case cases[] = {{"854x480", "", true},       {"848x480", "", true},      {"863x480", "", true},
                          {"847x480", "", false},      {"864x480", "", false},     {"720x480", "16:9", true},
                          {"720x576", "16:9", true},   {"720x576", "4:3", false},  {"1440x1080", "16:9", true},
                          {"1920x1080", "16:10", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.size) + " " + c.aspect);
        std::vector<std::string> args = {"-f", "lavfi", "-i", std::string("color=c=gray:r=10:d=0.1:s=") + c.size,
                                         "-c:v", "ffv1"};
        if (*c.aspect)
            args.insert(args.end(), {"-aspect", c.aspect});
        const fs::path source =
            SynthMedia(std::string("src-aspect-") + c.size + (*c.aspect ? std::string("-") + c.aspect : "") + ".mkv",
                       args);
        std::vector<std::string> vector;
        ASSERT_TRUE(CFFMpegConverter::DeviceArguments(letterbox, source.string(), ProbeOf(source), vector));
        EXPECT_EQ(c.wide, std::find(vector.begin(), vector.end(), "pad=720:480:0:37:black") != vector.end());
    }
    // As the device shows it: black bars above and below the square-pixel 854x480 picture.
    const fs::path out = Convert(TQ9_TEST_CACHE "/src-aspect-854x480.mkv", letterbox);
    EXPECT_TRUE(DecodedPixel(out, 360, 12).IsBlack());
    EXPECT_TRUE(DecodedPixel(out, 360, 470).IsBlack());
    EXPECT_FALSE(DecodedPixel(out, 360, 240).IsBlack());
}

TEST_F(EverydaySources, TimestampJumpIsADiscontinuity)
{
    const fs::path source = DamagedTimestamp();
    const MediaInfo info = ProbeOf(source);
    EXPECT_NEAR(3000, info.durationMs, 200);
    const fs::path out = Convert(source, ntsc);
    EXPECT_LT(Seconds(out), 3.5);
    EXPECT_NEAR(3000, converted.outputLengthMs, 200);
}
