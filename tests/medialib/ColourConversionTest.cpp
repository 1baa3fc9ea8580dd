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
