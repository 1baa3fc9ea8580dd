// Picture files through Qt's imaging (QImage, QImageReader/Writer, QPainter; no display needed) and, for
// HEIF/HEIC, libheif (CHeifImage): the one place of the core that decodes and encodes still pictures.
// Frames come out in sRGB: one drawn from a picture with an embedded colour profile is converted, one drawn
// from an HDR picture (PQ, HLG) tone-mapped (CHdrStill).
// Stateless; callable from any thread.
#pragma once

#include <cstdint>
#include <string>

class QImage;

namespace tq9 {

class CImageFile {
public:
    struct Rect {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };

    // Pixel size of a picture file as shown (a camera's EXIF orientation applied; ComposeAndSave draws it
    // the same way up), read from its header where the format allows. false when the file
    // cannot be read as a picture or is empty.
    static bool ReadSize(const std::string& path, uint32_t& width, uint32_t& height);

    // Decodes source, draws the whole of it into target on a black canvasWidth x canvasHeight 24-bit RGB
    // picture and saves that with encoder (a name FindEncoder gave). quality is the JPEG quality; BMP is
    // always written at 24 bits per pixel. The file is written under a temporary name in the destination's
    // folder and renamed over destination only when complete, so a failure leaves destination as it was.
    static bool ComposeAndSave(const std::string& source, const Rect& target, int canvasWidth, int canvasHeight,
                               const std::string& encoder, int quality, const std::string& destination);

    // The picture in a card's sidecar (a .thm): only a regular file is read, never through a link, and a
    // FIFO or device is refused instead of waited on. A null image when it cannot be read.
    static QImage LoadSidecar(const std::string& path);

    // Index of the first installed encoder whose MIME type equals mimeType exactly, or -1; encoder receives
    // its format name.
    static int FindEncoder(const std::string& mimeType, std::string& encoder);
};

} // namespace tq9
