// Photos in the colours they were taken in: wide-gamut JPEGs and PNGs (Display P3, Adobe RGB) are converted
// to sRGB, HEIC photos (written with libheif's encoder) come in like JPEGs, upright, and HDR photos (PQ, HLG;
// HEIC and PNG with cICP) are tone-mapped to look as the SDR photo they were graded from.
#include <QColor>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "media/StillImage.h"
#include "support/ColourMeasure.h"
#include "support/StillSources.h"
#include "support/TestSupport.h"

using namespace tq9;
using namespace tq9test;

namespace {

// Saturated colours well inside sRGB: read as sRGB, their Display P3 or Adobe RGB numbers look dull.
constexpr QRgb kOrange = qRgb(220, 90, 40);
constexpr QRgb kTeal = qRgb(30, 160, 150);

// The mean colour of the 9x9 pixels around (x, y) of a picture file.
QRgb MeanAround(const fs::path& file, int x, int y)
{
    const QImage picture(QString::fromStdString(file.string()));
    int r = 0, g = 0, b = 0, n = 0;
    for (int dy = -4; dy <= 4; ++dy)
        for (int dx = -4; dx <= 4; ++dx) {
            const QRgb c = picture.pixel(std::clamp(x + dx, 0, picture.width() - 1),
                                         std::clamp(y + dy, 0, picture.height() - 1));
            r += qRed(c), g += qGreen(c), b += qBlue(c), ++n;
        }
    return qRgb(r / n, g / n, b / n);
}

// Hue within 2 degrees, saturation and brightness within 4 % of the colour wanted.
void ExpectColour(QRgb got, QRgb want, const std::string& what)
{
    const QColor g = QColor(got).toHsv(), w = QColor(want).toHsv();
    const double dh = std::fabs(g.hsvHueF() - w.hsvHueF()) * 360;
    EXPECT_LT(std::min(dh, 360 - dh), 2.0) << what;
    EXPECT_NEAR(g.hsvSaturationF() / w.hsvSaturationF(), 1.0, 0.04) << what;
    EXPECT_NEAR(g.valueF() / w.valueF(), 1.0, 0.04) << what;
}

// H.273's numbers, as HEIF's nclx and PNG's cICP carry them.
constexpr int kPq = 16;
constexpr int kHlg = 18;

// sRGB pictures made by the ffmpeg tool: 640x360 colour bars, or white with its right half grey.
const std::string kBars = "smptehdbars=size=640x360";
const std::string kPatches = "color=white:size=640x360,drawbox=x=320:w=320:h=360:color=0x7d7d7d:t=fill";
const std::string kToRgb = "scale=in_color_matrix=bt709:out_color_matrix=bt709,format=gbrp";

fs::path SdrPhoto(const std::string& name, const std::string& source)
{
    return SynthMedia(name + ".png", {"-f", "lavfi", "-i", source, "-frames:v", "1", "-vf", kToRgb + ",format=rgb24"});
}

// The sRGB picture as an HDR grade of it: BT.2020, 16-bit, sRGB white at white nits (203, reference white, for
// the look of the SDR photo; more for highlights).
QImage HdrPhoto(const std::string& name, const std::string& source, const std::string& transfer, int white)
{
    const std::string nits = std::to_string(white);
    const fs::path raw = SynthMedia(name + ".rgb48", {"-f", "lavfi", "-i", source, "-frames:v", "1", "-vf",
        kToRgb + ",zscale=rin=full:min=gbr:pin=709:tin=iec61966-2-1:npl=" + nits +
            ":r=full:m=gbr:p=709:t=linear,format=gbrpf32le,zscale=rin=full:min=gbr:pin=709:tin=linear:npl=" + nits +
            ":r=full:m=gbr:p=2020:t=" + transfer + ",format=rgb48le",
        "-f", "rawvideo"});
    const std::string bytes = ReadFile(raw);
    QImage picture(640, 360, QImage::Format_RGBX64);
    if (bytes.size() != 640u * 360 * 6)
        return {};
    for (int y = 0; y < 360; ++y) {
        auto* out = reinterpret_cast<uint16_t*>(picture.scanLine(y));
        for (int x = 0; x < 640; ++x, out += 4) {
            std::memcpy(out, bytes.data() + (static_cast<size_t>(y) * 640 + x) * 6, 6); // little-endian, as here
            out[3] = 0xffff;
        }
    }
    return picture;
}

// The 720x360 picture inside the frame a 640x360 photo is letterboxed into, as the device decodes the JPEG.
RgbPicture FrameOf(const fs::path& photo, const fs::path& out)
{
    ConversionSettings ntsc;
    EXPECT_EQ(0, ConvertStill(ntsc, photo.string(), out.string())) << photo;
    return DecodePicture(out, 720, 360, "", "720:360:0:60");
}

// The 48x27 picture inside its thumbnail.
RgbPicture ThumbnailOf(const fs::path& photo, const fs::path& out)
{
    EXPECT_EQ(0, MakeStillThumbnail(photo.string(), out.string())) << photo;
    return DecodePicture(out, 48, 27, "", "48:27:0:4");
}

} // namespace

TEST(StillColour, WideGamutPhotosAreConvertedToSrgb)
{
    TempDir dir;
    ConversionSettings ntsc;
    const std::pair<const char*, QColorSpace> spaces[] = {{"P3", QColorSpace(QColorSpace::DisplayP3)},
                                                          {"AdobeRGB", QColorSpace(QColorSpace::AdobeRgb)}};
    for (const auto& [name, space] : spaces) {
        for (const char* format : {"jpg", "png"}) {
            const std::string what = std::string(name) + " " + format;
            const fs::path source = dir / (std::string(name) + "." + format);
            ASSERT_TRUE(PictureIn(space, kOrange, 160, 120).save(QString::fromStdString(source.string()), nullptr, 95));
            const fs::path out = dir / (std::string(name) + "-" + format + ".jpg");
            ASSERT_EQ(0, ConvertStill(ntsc, source.string(), out.string())) << what;
            ExpectColour(MeanAround(out, 360, 240), kOrange, what);
            EXPECT_EQ(ReadFile(out).find("ICC_PROFILE"), std::string::npos) << what << ": plain sRGB, as the device's own";
            const fs::path thumb = dir / (std::string(name) + "-" + format + ".thm");
            ASSERT_EQ(0, MakeStillThumbnail(source.string(), thumb.string())) << what;
            ExpectColour(MeanAround(thumb, 24, 18), kOrange, what + " thumbnail");
        }
    }
}

TEST(StillColour, HeicPhotosComeInUprightAndInTheirColours)
{
    // Stored 160x120, orange on the left and teal on the right, in Display P3; the file says "turn a quarter
    // clockwise to view", so the photo is a 120x160 portrait with orange at the top.
    TempDir dir;
    QImage stored = PictureIn(QColorSpace(QColorSpace::DisplayP3), kTeal, 160, 120);
    const QImage left = PictureIn(QColorSpace(QColorSpace::DisplayP3), kOrange, 80, 120);
    for (int y = 0; y < 120; ++y)
        std::copy_n(reinterpret_cast<const QRgb*>(left.constScanLine(y)), 80, reinterpret_cast<QRgb*>(stored.scanLine(y)));
    const fs::path photo = dir / "photo.heic";
    ASSERT_TRUE(WriteHeic(photo, stored, 6));

    ConversionSettings ntsc;
    const fs::path out = dir / "photo.jpg";
    ASSERT_EQ(0, ConvertStill(ntsc, photo.string(), out.string()));
    EXPECT_EQ(QSize(720, 480), QImage(QString::fromStdString(out.string())).size());
    ExpectColour(MeanAround(out, 360, 60), kOrange, "top");
    ExpectColour(MeanAround(out, 360, 420), kTeal, "bottom");
    EXPECT_LT(qGray(MeanAround(out, 100, 240)), 24) << "bars left and right of the 405-pixel portrait";

    const fs::path thumb = dir / "photo.thm";
    ASSERT_EQ(0, MakeStillThumbnail(photo.string(), thumb.string()));
    ExpectColour(MeanAround(thumb, 24, 6), kOrange, "thumbnail top");
    ExpectColour(MeanAround(thumb, 24, 30), kTeal, "thumbnail bottom");
    EXPECT_LT(qGray(QImage(QString::fromStdString(thumb.string())).pixel(3, 18)), 24);

    WriteFile(dir / "broken.heic", ReadFile(photo).substr(0, 200));
    EXPECT_EQ(1, ConvertStill(ntsc, (dir / "broken.heic").string(), (dir / "broken.jpg").string()));
    EXPECT_FALSE(fs::exists(dir / "broken.jpg"));
    // A good head before a gigabyte of zeros (sparse) is refused without reading it into memory.
    fs::copy_file(photo, dir / "huge.heic");
    fs::resize_file(dir / "huge.heic", uint64_t(1) << 30);
    EXPECT_EQ(1, ConvertStill(ntsc, (dir / "huge.heic").string(), (dir / "huge.jpg").string()));
}

TEST(StillColour, AGridOrOverlayLargerThanDeclaredOrOfNoPictureIsRefusedAndOneOfItsSizeDecodes)
{
    // One 64x64 tile in a grid or an overlay that says 16383x16383 but is declared 16383x1: they took 24 s
    // and 17 s, 1.6 GB each. An overlay of an item that is no picture aborted libheif.
    TempDir dir;
    const fs::path found = fs::path(TQ9_SOURCE_DIR) / "fuzz/regressions/heif";
    for (const char* name :
         {"grid-16383-declared-16383x1", "overlay-16383-declared-16383x1", "overlay-of-a-missing-item"}) {
        fs::copy_file(found / name, dir / "thin.heic", fs::copy_options::overwrite_existing);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(1, ConvertStill(ConversionSettings(), (dir / "thin.heic").string(), (dir / "thin.jpg").string()));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << name;
    }
    const std::string thin = ReadFile(found / "grid-16383-declared-16383x1");

    // The same grid sized as its tile and declared so.
    std::string fitting = thin;
    const auto patch = [&](const std::string& from, const std::string& to) {
        const size_t at = fitting.find(from);
        ASSERT_NE(at, std::string::npos);
        fitting.replace(at, from.size(), to);
    };
    patch(std::string("\0\0\0\0\x3f\xff\x3f\xff", 8), std::string("\0\0\0\0\0\x40\0\x40", 8));
    patch(std::string("\0\0\x3f\xff\0\0\0\x01", 8), std::string("\0\0\0\x40\0\0\0\x40", 8));
    WriteFile(dir / "grid.heic", fitting);
    EXPECT_EQ(0, ConvertStill(ConversionSettings(), (dir / "grid.heic").string(), (dir / "grid.jpg").string()));
}

TEST(StillColour, HdrPhotosAreToneMappedToTheLookOfTheirSdrPhoto)
{
    // Untouched, PQ bars came out washed out (hue 13 degrees off, saturation 0.45, brightness 0.71).
    TempDir dir;
    const fs::path sdr = SdrPhoto("still-bars", kBars);
    const RgbPicture frame = FrameOf(sdr, dir / "sdr.jpg");
    const RgbPicture thumbnail = ThumbnailOf(sdr, dir / "sdr.thm");
    for (const auto& [transfer, code] : {std::pair{"smpte2084", kPq}, std::pair{"arib-std-b67", kHlg}}) {
        const QImage hdr = HdrPhoto(std::string("still-bars-") + transfer, kBars, transfer, 203);
        ASSERT_FALSE(hdr.isNull()) << transfer;
        const fs::path heic = dir / (std::string(transfer) + ".heic");
        const fs::path png = dir / (std::string(transfer) + ".png");
        ASSERT_TRUE(WriteHdrHeic(heic, hdr, code)) << transfer;
        ASSERT_TRUE(WriteHdrPng(png, hdr, code)) << transfer;
        for (const fs::path& photo : {heic, png}) {
            const std::string what = photo.filename().string();
            ExpectSameColours(CompareColours(FrameOf(photo, dir / (what + ".jpg")), frame), 1.5, 0.02, what);
            ExpectSameColours(CompareColours(ThumbnailOf(photo, dir / (what + ".thm")), thumbnail), 1.5, 0.02,
                what + " thumbnail");
        }
    }
}

TEST(StillColour, AnHdrPhotosOwnPeakIsItsWhite)
{
    // White at 250 cd/m2 (and grey at about 50): a photo that says 250 is its brightest shows that white as
    // SDR white; without a light level PQ is taken as reaching 1000, and the same white stays below it.
    // What is below reference white comes out the same either way.
    TempDir dir;
    const QImage hdr = HdrPhoto("still-patches-pq-250", kPatches, "smpte2084", 250);
    ASSERT_FALSE(hdr.isNull());
    ASSERT_TRUE(WriteHdrHeic(dir / "said.heic", hdr, kPq, 250));
    ASSERT_TRUE(WriteHdrHeic(dir / "unsaid.heic", hdr, kPq));
    const RgbPicture said = FrameOf(dir / "said.heic", dir / "said.jpg");
    const RgbPicture unsaid = FrameOf(dir / "unsaid.heic", dir / "unsaid.jpg");
    EXPECT_GT(MeanLevel(said, 40, 40, 280, 280), 254.5);
    EXPECT_GT(MeanLevel(said, 40, 40, 280, 280) - MeanLevel(unsaid, 40, 40, 280, 280), 1.5);
    EXPECT_NEAR(MeanLevel(said, 400, 40, 280, 280), MeanLevel(unsaid, 400, 40, 280, 280), 0.5);
}

TEST(StillColour, OnlyAPqOrHlgDescriptionMakesAPhotoHdr)
{
    // A cICP chunk with an SDR transfer (sRGB's, 13) leaves the photo exactly as without it; so does a cICP
    // chunk after the pixels, where it does not count. A broken HDR photo fails and writes nothing.
    TempDir dir;
    const QImage sdr(QString::fromStdString(SdrPhoto("still-bars", kBars).string()));
    ASSERT_FALSE(sdr.isNull());
    ASSERT_TRUE(sdr.convertToFormat(QImage::Format_RGBX64).save(QString::fromStdString((dir / "plain.png").string())));
    ASSERT_TRUE(WriteHdrPng(dir / "srgb.png", sdr, 13));
    ASSERT_TRUE(WriteHdrPng(dir / "pq.png", sdr, kPq));
    const std::string pq = ReadFile(dir / "pq.png");
    std::string late = ReadFile(dir / "plain.png");
    late.insert(late.size() - 12, pq.substr(33, 16)); // the PQ chunk moved just before the end
    WriteFile(dir / "late.png", late);
    ConversionSettings ntsc;
    ASSERT_EQ(0, ConvertStill(ntsc, (dir / "plain.png").string(), (dir / "plain.jpg").string()));
    for (const char* name : {"srgb", "late"}) {
        const fs::path out = dir / (std::string(name) + ".jpg");
        ASSERT_EQ(0, ConvertStill(ntsc, (dir / (std::string(name) + ".png")).string(), out.string())) << name;
        EXPECT_TRUE(ReadFile(out) == ReadFile(dir / "plain.jpg")) << name;
    }
    WriteFile(dir / "broken.png", pq.substr(0, 60));
    EXPECT_EQ(1, ConvertStill(ntsc, (dir / "broken.png").string(), (dir / "broken.jpg").string()));
    EXPECT_FALSE(fs::exists(dir / "broken.jpg"));
}
