// Photos in the colours they were taken in: wide-gamut JPEGs and PNGs (Display P3, Adobe RGB) are converted
// to sRGB, and HEIC photos (written with libheif's encoder) come in like JPEGs, upright.
#include <QColor>
#include <QImage>
#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include "media/StillImage.h"
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
}
