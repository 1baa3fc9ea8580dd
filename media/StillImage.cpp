#include "media/StillImage.h"

#include <cstdint>

#include "platform/ImageFile.h"

namespace tq9 {

namespace {

constexpr int kFrameWidth = 720;
constexpr int kThumbWidth = 48;
constexpr int kThumbHeight = 36;
constexpr int kJpegQuality = 80;

bool NarrowerThanFourByThree(double w, double h)
{
    return w / h < 4.0 / 3.0;
}

// The extension after the last "." when that comes after the last "/", lower-cased (ASCII only).
std::string LowerExtension(const std::string& path)
{
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = path.substr(dot + 1);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

// Loads the size, places it with place, and saves through the encoder of mimeType.
template <typename Place>
int Compose(const std::string& source, const std::string& destination, int canvasWidth, int canvasHeight,
            const char* mimeType, Place place)
{
    uint32_t w = 0;
    uint32_t h = 0;
    if (!CImageFile::ReadSize(source, w, h))
        return 1;
    const StillPlacement at = place(static_cast<double>(w), static_cast<double>(h));
    std::string encoder;
    if (FindEncoder(mimeType, encoder) < 0)
        return 1;
    const CImageFile::Rect rect{at.x, at.y, at.width, at.height};
    return CImageFile::ComposeAndSave(source, rect, canvasWidth, canvasHeight, encoder, kJpegQuality, destination)
               ? 0
               : 1;
}

} // namespace

StillPlacement StillFramePlacement(double w, double h, int frameHeight)
{
    StillPlacement at;
    if (NarrowerThanFourByThree(w, h)) {
        // Square pixels widened to the device's 720-pixel line; the width is reckoned against 480 lines
        // for both standards.
        at.height = frameHeight;
        at.width = static_cast<int>(w * (480.0 / h) * 1.125);
        at.x = (kFrameWidth - at.width) >> 1;
    } else {
        at.width = kFrameWidth;
        at.height = static_cast<int>(h * (640.0 / w) * (frameHeight / 480.0));
        at.y = (frameHeight - at.height) >> 1;
    }
    return at;
}

StillPlacement StillThumbnailPlacement(double w, double h)
{
    StillPlacement at;
    if (NarrowerThanFourByThree(w, h)) {
        at.height = kThumbHeight;
        at.width = static_cast<int>(w * (36.0 / h));
        at.x = (kThumbWidth - at.width) >> 1;
    } else {
        at.width = kThumbWidth;
        at.height = static_cast<int>(h * (48.0 / w));
        at.y = (kThumbHeight - at.height) >> 1;
    }
    return at;
}

int ConvertStill(const ConversionSettings& settings, const std::string& source, const std::string& destination)
{
    const std::string ext = LowerExtension(destination);
    const char* mimeType = nullptr;
    if (ext == "bmp")
        mimeType = "image/bmp";
    else if (ext == "jpg" || ext == "png") // the device takes JPEG data under both names
        mimeType = "image/jpeg";
    else
        return 1;
    const int frameHeight = settings.NTSC ? 480 : 576;
    return Compose(source, destination, kFrameWidth, frameHeight, mimeType,
                   [frameHeight](double w, double h) { return StillFramePlacement(w, h, frameHeight); });
}

int MakeStillThumbnail(const std::string& source, const std::string& thumbnailPath)
{
    return Compose(source, thumbnailPath, kThumbWidth, kThumbHeight, "image/bmp",
                   [](double w, double h) { return StillThumbnailPlacement(w, h); });
}

int FindEncoder(const std::string& mimeType, std::string& encoder)
{
    return CImageFile::FindEncoder(mimeType, encoder);
}

} // namespace tq9
