// A still picture whose pixels are HDR - PQ or HLG, as a HEIF picture's colour description or a PNG file's
// cICP chunk says - and its conversion to the device's SDR sRGB, done by the media library with the tone
// mapping the video's pictures take. A value; callable from any thread.
#pragma once

#include <QImage>

class QIODevice;

namespace tq9 {

class CHdrStill {
public:
    CHdrStill() = default; // an SDR picture
    // transfer and primaries as ITU-T H.273 numbers them (HEIF and PNG use its numbers); peakNits from the
    // content light level or mastering display, 0 unknown.
    CHdrStill(int transfer, int primaries, double peakNits);

    // What the cICP chunk of a PNG file says (SDR when the file has none or is no PNG). The file is read
    // from its start and left at the position it had.
    static CHdrStill OfPng(QIODevice& file);

    bool IsHdr() const { return m_hdr; }
    // The picture (its own R'G'B', 16 bits, as decoded) in 24-bit sRGB, brought down to fitted (the size
    // it is drawn at) when larger: first to at most 4 times fitted (and 1.6 million pixels) in its own
    // R'G'B', the rest of the way after the tone mapping, so that most of the mixing of neighbouring colours
    // is done on SDR colours, as for an SDR photo. Transparent parts come out as over black. Null when the
    // conversion fails.
    QImage ToSdr(const QImage& picture, QSize fitted) const;

private:
    bool m_hdr = false;
    int m_transfer = 0;
    int m_primaries = 0;
    double m_peakNits = 0;
};

} // namespace tq9
