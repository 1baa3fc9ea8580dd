#include "ColourMeasure.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace tq9test {

namespace {

struct Hsv {
    double h = 0; // degrees
    double s = 0;
    double v = 0;
};

Hsv ToHsv(const uint8_t* p)
{
    const double r = p[0] / 255.0, g = p[1] / 255.0, b = p[2] / 255.0;
    const double hi = std::max({r, g, b}), lo = std::min({r, g, b}), d = hi - lo;
    Hsv out;
    out.v = hi;
    out.s = hi > 0 ? d / hi : 0;
    if (d <= 0)
        return out;
    if (hi == r)
        out.h = 60 * std::fmod((g - b) / d + 6, 6);
    else if (hi == g)
        out.h = 60 * ((b - r) / d + 2);
    else
        out.h = 60 * ((r - g) / d + 4);
    return out;
}

} // namespace

namespace {

// The first picture of file through filters (ending in width x height), as 8-bit RGB.
RgbPicture Decode(const fs::path& file, const std::string& filters, int width, int height)
{
    const ProcessResult r = RunProcess({"ffmpeg", "-nostdin", "-v", "error", "-i", file.string(), "-frames:v", "1",
        "-vf", filters + ",format=rgb24", "-f", "rawvideo", "-"});
    RgbPicture picture;
    if (r.exitCode != 0 || r.out.size() != static_cast<size_t>(width) * height * 3)
        return picture;
    picture.width = width;
    picture.height = height;
    picture.rgb.assign(r.out.begin(), r.out.end());
    return picture;
}

} // namespace

RgbPicture DecodePicture(const fs::path& file, int width, int height, const std::string& matrix,
                         const std::string& crop)
{
    std::string filters = crop.empty() ? "" : "crop=" + crop + ",";
    filters += "scale=" + std::to_string(width) + ":" + std::to_string(height) + ":flags=bicubic";
    if (!matrix.empty())
        filters += ":in_color_matrix=" + matrix + ":in_range=tv";
    return Decode(file, filters, width, height);
}

RgbPicture DecodeInRgbFirst(const fs::path& file, int width, int height, const std::string& matrix)
{
    return Decode(file,
        "scale=in_color_matrix=" + matrix + ":in_range=tv,format=rgb24,scale=" + std::to_string(width) + ":" +
            std::to_string(height) + ":flags=bicubic",
        width, height);
}

ColourDifference CompareColours(const RgbPicture& picture, const RgbPicture& reference, int x, int y, int w, int h)
{
    ColourDifference d;
    if (picture.Empty() || picture.width != reference.width || picture.height != reference.height)
        return d;
    if (w <= 0) {
        x = y = 0;
        w = picture.width;
        h = picture.height;
    }
    double hueSum = 0, satSum = 0, refSatSum = 0, valueSum = 0, refValueSum = 0;
    for (int row = y; row < y + h; ++row) {
        for (int col = x; col < x + w; ++col) {
            const size_t at = (static_cast<size_t>(row) * picture.width + col) * 3;
            const Hsv got = ToHsv(&picture.rgb[at]);
            const Hsv want = ToHsv(&reference.rgb[at]);
            valueSum += got.v;
            refValueSum += want.v;
            if (want.s < 0.3 || want.v < 0.15)
                continue;
            double dh = std::fabs(got.h - want.h);
            hueSum += std::min(dh, 360 - dh);
            satSum += got.s;
            refSatSum += want.s;
            ++d.pixels;
        }
    }
    if (d.pixels > 0) {
        d.hueDegrees = hueSum / d.pixels;
        d.saturation = satSum / refSatSum;
        d.referenceSaturation = refSatSum / d.pixels;
    }
    d.brightness = refValueSum > 0 ? valueSum / refValueSum : 0;
    return d;
}

void ExpectSameColours(const ColourDifference& d, double hue, double share, const std::string& what)
{
    EXPECT_GT(d.pixels, 0) << what;
    EXPECT_LT(d.hueDegrees, hue) << what;
    EXPECT_NEAR(d.saturation, 1.0, share) << what;
    EXPECT_NEAR(d.brightness, 1.0, share) << what;
}

double MeanLevel(const RgbPicture& picture, int x, int y, int w, int h)
{
    if (picture.Empty() || w <= 0 || h <= 0 || x + w > picture.width || y + h > picture.height)
        return -1;
    double sum = 0;
    for (int row = y; row < y + h; ++row)
        for (int col = x; col < x + w; ++col)
            for (int c = 0; c < 3; ++c)
                sum += picture.rgb[(static_cast<size_t>(row) * picture.width + col) * 3 + c];
    return sum / (3.0 * w * h);
}

} // namespace tq9test
