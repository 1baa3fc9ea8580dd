// Colour checks of pictures as the device would show them: a file's first picture decoded with the ffmpeg
// tool to 8-bit RGB, its YCbCr read as BT.601 limited range whatever the file says (an SD player does), and
// the hue, saturation and brightness of one picture compared with a reference picture of the same size.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tq9test {

struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb; // width * height * 3, rows top down
    bool Empty() const { return rgb.empty(); }
};

// The first picture of file, cropped by crop (an ffmpeg crop filter's arguments, or empty) and scaled to
// width x height. matrix: how limited-range YCbCr is read ("bt601" as the device, "bt709" for a reference);
// empty: as the file says (RGB files, and JPEG's full-range BT.601).
RgbPicture DecodePicture(const std::filesystem::path& file, int width, int height,
                         const std::string& matrix = "bt601", const std::string& crop = "");

// The same, turned into RGB at its own size before it is scaled: the colours a small picture of it should
// have (scaling 4:2:0 straight to RGB, as the ffmpeg tool and the SD thumbnails do, moves the colour of an
// edge by about a pixel at a strong reduction: bars 1280 -> 48 wide differ from this by 11 degrees of hue).
RgbPicture DecodeInRgbFirst(const std::filesystem::path& file, int width, int height, const std::string& matrix);

struct ColourDifference {
    double hueDegrees = 0; // mean hue error over the reference's saturated pixels
    double saturation = 0; // mean saturation of those pixels, as a share of the reference's
    double brightness = 0; // mean HSV value over the whole picture, as a share of the reference's
    double referenceSaturation = 0; // their mean saturation in the reference (0..1)
    int pixels = 0; // how many saturated pixels were compared
};
// Compares picture with reference (same size) inside the rectangle given (the whole picture when w is 0).
ColourDifference CompareColours(const RgbPicture& picture, const RgbPicture& reference, int x = 0, int y = 0,
                                int w = 0, int h = 0);
// Fails the current test unless some saturated pixels were compared, their hue is within hue degrees and
// saturation and brightness within share of the reference's; what names the case.
void ExpectSameColours(const ColourDifference& d, double hue, double share, const std::string& what);

// The mean of R, G and B (0..255) over a rectangle of picture.
double MeanLevel(const RgbPicture& picture, int x, int y, int w, int h);

} // namespace tq9test
