// Still pictures fitted into the device's full frame, and the 48x36 thumbnails of still pictures. The
// pictures are decoded and encoded by the platform imaging layer (platform/ImageFile), not by the media
// library. Called on the import job's worker thread; nothing survives a call.
#pragma once

#include <string>

#include "media/ConversionSettings.h"

namespace tq9 {

// Where a source of w x h pixels lands inside the target frame.
struct StillPlacement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// A converted still: 720 wide, 480 (NTSC) or 576 (PAL) high. Narrower than 4:3 is pillarboxed with the
// width computed against 480 lines and widened by 1.125 for the device's 720-pixel line; 4:3 or wider is
// letterboxed.
StillPlacement StillFramePlacement(double w, double h, int frameHeight);
// A thumbnail: 48x36, square pixels.
StillPlacement StillThumbnailPlacement(double w, double h);

// Converts source into a 720-wide frame saved by the destination's extension: "bmp" 24-bit BMP, "jpg"
// JPEG at quality 80, "png" also JPEG data at quality 80 (the device reads it so); letter case does not
// matter, anything else fails. 0 = written, 1 = failed. A failure leaves the destination as it was.
int ConvertStill(const ConversionSettings& settings, const std::string& source, const std::string& destination);

// The 48x36 24-bit BMP thumbnail of a still picture, whatever thumbnailPath's extension.
// 0 = written, 1 = failed; a failure leaves thumbnailPath as it was.
int MakeStillThumbnail(const std::string& source, const std::string& thumbnailPath);

// Index of the first installed image encoder whose MIME type is exactly mimeType, with its identifier
// (the imaging layer's format name) in encoder; -1 when none.
int FindEncoder(const std::string& mimeType, std::string& encoder);

} // namespace tq9
