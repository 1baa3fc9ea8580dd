// HEIF/HEIC pictures (many phones' photos) through libheif, which Qt's imaging does not read. Used by
// CImageFile beside Qt's readers; stateless, callable from any thread.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include "platform/HdrStill.h"

namespace tq9 {

class CHeifImage {
public:
    // How many of a file's first bytes IsHeif wants to see.
    static constexpr int kHeadSize = 12;
    // The largest file read: a 200-megapixel phone photo is about 60 MB.
    static constexpr qint64 kMaxFileBytes = qint64(256) << 20;
    // The most pixels decoded (the largest phone photos have 200 million).
    static constexpr int64_t kMaxPixels = 200'000'000;
    // Whether a file starting with head is a HEIF picture libheif reads (judged by content, not by name).
    static bool IsHeif(const QByteArray& head);
    // The primary picture's size as shown (its rotation and mirroring applied); invalid when unreadable.
    static QSize ShownSize(const QByteArray& file);
    // The primary picture decoded upright in 8-bit RGB (RGBA with alpha), carrying the file's colour space
    // (its ICC profile, or the primaries its colour description names); null when it cannot be decoded.
    // A picture whose colour description says PQ or HLG comes in 16 bits (RGBX64, RGBA64) as it is stored,
    // and hdr (when given) says so, with the light level the file gives.
    static QImage Read(const QByteArray& file, CHdrStill* hdr = nullptr);
};

} // namespace tq9
