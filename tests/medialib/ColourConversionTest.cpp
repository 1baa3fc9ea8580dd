// Colours of HD and HDR sources on the device: colour bars mastered in BT.709 and rendered to PQ and HLG
// (10-bit HEVC, BT.2020), converted with the converters' vectors and decoded as the device decodes (BT.601,
// limited range), against the master. SD BT.601 sources must pass through untouched.
#include "MediaLibTestSupport.h"
#include "support/ColourMeasure.h"

#include <gtest/gtest.h>

using namespace tq9test;

namespace {

const std::string kBars = "smptehdbars=size=1280x720:rate=25:duration=0.2";
// lavfi pictures carry no colour description; the master says BT.709 so that zscale knows what it reads.
const std::string kSay709 = "setparams=colorspace=bt709:color_trc=bt709:color_primaries=bt709:range=tv";

fs::path Master709(bool tagged)
{
    std::vector<std::string> args = {"-f", "lavfi", "-i", kBars, "-vf", "format=yuv420p", "-c:v", "libx264",
        "-preset", "ultrafast", "-qp", "0"};
    if (tagged)
        args.insert(args.end(), {"-colorspace", "bt709", "-color_primaries", "bt709", "-color_trc", "bt709"});
    return SynthMedia(tagged ? "colour-bars-709.mp4" : "colour-bars-hd-untagged.mp4", args);
}

// The master with its matrix converted to BT.601 (and said so): what passes through untouched.
fs::path Master601()
{
    return SynthMedia("colour-bars-601.mp4",
        {"-f", "lavfi", "-i", kBars, "-vf", kSay709 + ",zscale=m=170m,format=yuv420p", "-c:v", "libx264", "-preset",
            "ultrafast", "-qp", "0", "-colorspace", "smpte170m", "-color_primaries", "bt709", "-color_trc", "bt709"});
}

// The master rendered to BT.2020 with the transfer given (PQ, HLG: HDR with its white at reference white,
// 203 cd/m2, BT.2408, as an HDR grade of SDR material is; bt709: wide-gamut SDR).
fs::path MasterHdr(const std::string& transfer)
{
    const std::string vf = kSay709 + ",zscale=rin=limited:min=709:tin=709:pin=709:t=linear:p=709:npl=203,"
        "format=gbrpf32le,zscale=p=2020:t=" + transfer + ":m=2020_ncl:r=limited:npl=203,format=yuv420p10le";
    return SynthMedia("colour-bars-" + transfer + ".mp4",
        {"-f", "lavfi", "-i", kBars, "-vf", vf, "-c:v", "libx265", "-preset", "ultrafast", "-x265-params",
            "log-level=error:lossless=1", "-colorspace", "bt2020nc", "-color_primaries", "bt2020", "-color_trc",
            transfer, "-color_range", "tv"});
}

// The bars at an odd size, 1281x721, losslessly in FFV1 (which takes odd 4:2:0 sizes): a thumbnail converts
// the colours at the source's size, where the colorspace filter fails, so they go through zscale in 4:4:4.
fs::path OddMaster(const std::string& transfer)
{
    const bool hdr = transfer != "bt709";
    std::string vf = "format=yuv444p," + kSay709;
    if (hdr)
        vf += ",zscale=rin=limited:min=709:tin=709:pin=709:t=linear:p=709:npl=203,format=gbrpf32le,"
              "zscale=p=2020:t=" + transfer + ":m=2020_ncl:r=limited:npl=203,format=yuv444p10le";
    vf += hdr ? ",format=yuv420p10le" : ",format=yuv420p";
    return SynthMedia("colour-bars-odd-" + transfer + ".mkv",
        {"-f", "lavfi", "-i", "smptehdbars=size=1281x721:rate=25:duration=0.2", "-vf", vf, "-c:v", "ffv1",
            "-colorspace", hdr ? "bt2020nc" : "bt709", "-color_primaries", hdr ? "bt2020" : "bt709", "-color_trc",
            transfer, "-color_range", "tv"});
}

// PQ with the left half white at 250 cd/m2 (the brightest the picture gets) and the right half grey at about
// 60; light is what the stream says of its light (x265's max-cll or master-display option) or nothing.
fs::path PqPatches(const std::string& name, const std::string& light)
{
    const std::string vf = "drawbox=x=160:w=160:h=180:color=0x7d7d7d:t=fill," + kSay709 +
        ",zscale=rin=limited:min=709:tin=709:pin=709:t=linear:p=709:npl=250,format=gbrpf32le,"
        "zscale=p=2020:t=smpte2084:m=2020_ncl:r=limited:npl=250,format=yuv420p10le";
    return SynthMedia("pq-patches-" + name + ".mp4",
        {"-f", "lavfi", "-i", "color=white:size=320x180:rate=25:duration=0.2", "-vf", vf, "-c:v", "libx265",
            "-preset", "ultrafast", "-x265-params", "log-level=error:lossless=1" + light, "-colorspace", "bt2020nc",
            "-color_primaries", "bt2020", "-color_trc", "smpte2084", "-color_range", "tv"});
}

class ColourConversionTest : public ::testing::Test {
protected:
    fs::path Convert(const fs::path& src, const std::string& name, DeviceOptions o = {})
    {
        const fs::path out = tmp / name;
        const TranscodeRun run = RunTranscode(DeviceArgs(src, out, o.NoAudio()));
        EXPECT_GE(run.status, 0) << name;
        return out;
    }
    fs::path Thumbnail(const fs::path& src, const std::string& name, bool letterbox = false)
    {
        const fs::path out = tmp / name;
        EXPECT_GE(RunTranscode(FrameArgs(src, out, letterbox, false)).status, 0) << name;
        return out;
    }
    TempDir tmp;
};

} // namespace

TEST_F(ColourConversionTest, Bt709AndUnspecifiedHdComeOutAsTheSameBarsInBt601)
{
    // The device's view of the bars mastered in BT.601: the reference for the device video and thumbnail.
    const RgbPicture sd = DecodePicture(Convert(Master601(), "601.mp4"), 720, 480);
    for (bool tagged : {true, false}) {
        const std::string what = tagged ? "BT.709" : "HD without a colour description";
        const fs::path out = Convert(Master709(tagged), tagged ? "709.mp4" : "untagged.mp4");
        // Unconverted, the hues are off by about 3 degrees on average.
        ExpectSameColours(CompareColours(DecodePicture(out, 720, 480), sd), 1, 0.02, what);
        const auto tags = ProbeFields(out, "stream=color_range,color_space,color_primaries,color_transfer", "v");
        EXPECT_EQ(tags.at("color_space"), "smpte170m") << what;
        EXPECT_EQ(tags.at("color_range"), "tv") << what;
    }
    // Letterboxed NTSC: the 405 lines of picture go through the conversion too.
    const std::string picture = "720:404:0:38";
    ExpectSameColours(
        CompareColours(DecodePicture(Convert(Master709(true), "709-boxed.mp4", DeviceOptions().Letterbox()), 720, 404,
                           "bt601", picture),
            DecodePicture(Convert(Master601(), "601-boxed.mp4", DeviceOptions().Letterbox()), 720, 404, "bt601",
                picture)),
        1, 0.02, "letterboxed");
    ExpectSameColours(CompareColours(DecodePicture(Thumbnail(Master709(false), "untagged.bmp"), 48, 36, ""),
                          DecodePicture(Thumbnail(Master601(), "601.bmp"), 48, 36, "")),
        1, 0.02, "thumbnail");
}

TEST_F(ColourConversionTest, PqAndHlgAreToneMappedAndBt2020GamutMappedToTheSdrMastersLook)
{
    const RgbPicture sdr = DecodePicture(Convert(Master709(true), "sdr.mp4"), 720, 480);
    const RgbPicture sdrThumb = DecodePicture(Thumbnail(Master709(true), "sdr.bmp"), 48, 36, "");
    const RgbPicture sdrBoxedThumb = DecodePicture(Thumbnail(Master709(true), "sdr-boxed.bmp", true), 48, 36, "");
    for (const std::string transfer : {"smpte2084", "arib-std-b67", "bt709"}) {
        // Untouched, PQ comes out washed out (saturation at less than half the master's).
        const fs::path out = Convert(MasterHdr(transfer), transfer + ".mp4");
        ExpectSameColours(CompareColours(DecodePicture(out, 720, 480), sdr), 2, 0.05, transfer);
        ExpectSameColours(CompareColours(DecodePicture(Thumbnail(MasterHdr(transfer), transfer + ".bmp"), 48, 36, ""),
                              sdrThumb),
            2, 0.05, transfer + " thumbnail");
        ExpectSameColours(
            CompareColours(DecodePicture(Thumbnail(MasterHdr(transfer), transfer + "-boxed.bmp", true), 48, 36, ""),
                sdrBoxedThumb, 0, 4, 48, 27),
            2, 0.05, transfer + " letterboxed thumbnail");
    }
}

TEST_F(ColourConversionTest, Bt601SourcesPassUntouched)
{
    // What reaches the encoder of an SD BT.601 source is exactly the plain scaler's output.
    const fs::path sd = SynthMedia("colour-bars-sd-601.mp4",
        {"-f", "lavfi", "-i", "smptebars=size=640x480:rate=25:duration=0.2", "-c:v", "libx264", "-preset",
            "ultrafast", "-qp", "0", "-pix_fmt", "yuv420p", "-colorspace", "smpte170m"});
    const fs::path ours = tmp / "ours.yuv";
    ASSERT_GE(RunTranscode({"-i", sd.string(), "-an", "-vcodec", "rawvideo", "-s", "720x480", "-f", "rawvideo",
                  ours.string()})
                  .status,
        0);
    const ProcessResult plain = RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-i", sd.string(), "-vf",
        "scale=720:480:flags=bicubic,format=yuv420p", "-f", "rawvideo", "-"});
    ASSERT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_TRUE(ReadFile(ours) == plain.out);
}

TEST_F(ColourConversionTest, APqSourcesOwnPeakIsItsWhite)
{
    // PQ that says nothing of its light is taken as reaching 1000 cd/m2, so its 250 cd/m2 white stays below
    // SDR white; a content light level or mastering display of 250 makes that white the SDR white. What is
    // below reference white comes out the same whatever the stream says.
    const auto patches = [this](const std::string& name, const std::string& light) {
        return DecodePicture(Convert(PqPatches(name, light), name + ".mp4"), 720, 480);
    };
    const RgbPicture unsaid = patches("unsaid", "");
    const RgbPicture light = patches("max-cll-250", ":max-cll=250,60");
    const RgbPicture display = patches("mastering-250",
        ":master-display=G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)L(2500000,50)");
    const auto white = [](const RgbPicture& p) { return MeanLevel(p, 40, 40, 280, 400); };
    const auto grey = [](const RgbPicture& p) { return MeanLevel(p, 400, 40, 280, 400); };
    EXPECT_GT(white(light), 254);
    EXPECT_NEAR(white(display), white(light), 0.5);
    EXPECT_GT(white(light) - white(unsaid), 1.0);
    EXPECT_NEAR(grey(light), grey(unsaid), 0.5);
    EXPECT_NEAR(grey(display), grey(unsaid), 0.5);
}

TEST_F(ColourConversionTest, OddSizedHdSourcesComeOutInTheirColours)
{
    // BT.709 and PQ at 1281x721: their thumbnails (converted at that size, in 4:4:4) against the bars turned
    // into RGB before they are made small; then the device's video of both (converted at the frame's size).
    const RgbPicture bars = DecodeInRgbFirst(Master709(true), 48, 36, "bt709");
    ExpectSameColours(CompareColours(DecodePicture(Thumbnail(OddMaster("bt709"), "odd-709.bmp"), 48, 36, ""), bars),
        1, 0.02, "BT.709 thumbnail");
    ExpectSameColours(CompareColours(DecodePicture(Thumbnail(OddMaster("smpte2084"), "odd-pq.bmp"), 48, 36, ""), bars),
        2, 0.05, "PQ thumbnail");
    const RgbPicture sdr = DecodePicture(Convert(Master709(true), "sdr.mp4"), 720, 480);
    for (const std::string transfer : {"bt709", "smpte2084"})
        ExpectSameColours(
            CompareColours(DecodePicture(Convert(OddMaster(transfer), "odd-" + transfer + ".mp4"), 720, 480), sdr), 2,
            0.05, transfer + " video");
}
