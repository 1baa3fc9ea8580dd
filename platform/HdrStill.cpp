#include "platform/HdrStill.h"

#include <QIODevice>
#include <cmath>
#include <cstring>

#include "medialib/tq9media.h"

namespace tq9 {

namespace {

constexpr char kPngSignature[] = "\x89PNG\r\n\x1a\n";
// cICP must come before the pixels; a file with this many chunks before them is not one we look through.
constexpr int kMaxPngChunks = 64;
// How much larger than its fitted frame an HDR picture is tone-mapped, at most: colour bars made 48 wide at
// 1:1 were off by 4.4 degrees of hue at their edges (mixed in PQ), at 2:1 by 1.3, at 4:1 by 0.7. A 720-wide
// frame stops at about 1.5 million pixels (2:1): 4:1 cost a 12 MP photo 0.37 s instead of 0.13.
constexpr int kReduceTo = 4;
constexpr qint64 kMostPixels = 1600000;

uint32_t BigEndian32(const char* p)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(p[0])) << 24 |
        static_cast<uint32_t>(static_cast<uint8_t>(p[1])) << 16 |
        static_cast<uint32_t>(static_cast<uint8_t>(p[2])) << 8 | static_cast<uint32_t>(static_cast<uint8_t>(p[3]));
}

} // namespace

CHdrStill::CHdrStill(int transfer, int primaries, double peakNits)
    : m_hdr(Tq9MediaIsHdrTransfer(transfer) != 0), m_transfer(transfer), m_primaries(primaries),
      m_peakNits(peakNits)
{
}

CHdrStill CHdrStill::OfPng(QIODevice& file)
{
    const qint64 start = file.pos();
    CHdrStill found;
    char head[8];
    qint64 at = 8;
    if (file.isSequential() || !file.seek(0) || file.read(head, 8) != 8 || std::memcmp(head, kPngSignature, 8) != 0) {
        file.seek(start);
        return found;
    }
    for (int i = 0; i < kMaxPngChunks && file.seek(at) && file.read(head, 8) == 8; ++i) {
        const uint32_t length = BigEndian32(head);
        const QByteArray type(head + 4, 4);
        if (type == "IDAT" || type == "IEND")
            break;
        // colour primaries, transfer, matrix (0: R'G'B'), full range
        char cicp[4];
        if (type == "cICP" && length == 4 && file.read(cicp, 4) == 4 && cicp[2] == 0) {
            found = CHdrStill(static_cast<uint8_t>(cicp[1]), static_cast<uint8_t>(cicp[0]), 0);
            break;
        }
        at += 12 + static_cast<qint64>(length);
    }
    file.seek(start);
    return found;
}

QImage CHdrStill::ToSdr(const QImage& picture, QSize fitted) const
{
    if (!m_hdr || picture.isNull())
        return {};
    // Premultiplied alpha is the picture over black; the media library reads 4 values a pixel, ignoring the 4th.
    QImage deep = picture.convertToFormat(
        picture.hasAlphaChannel() ? QImage::Format_RGBA64_Premultiplied : QImage::Format_RGBX64);
    if (!fitted.isValid() || fitted.isEmpty())
        fitted = deep.size();
    QSize most = fitted * kReduceTo;
    if (static_cast<qint64>(most.width()) * most.height() > kMostPixels)
        most = fitted * std::sqrt(static_cast<double>(kMostPixels) / fitted.width() / fitted.height());
    if (deep.width() > most.width() || deep.height() > most.height())
        deep = deep.scaled(deep.size().boundedTo(most), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QImage sdr(deep.size(), QImage::Format_RGB888);
    if (sdr.isNull())
        return {};
    const Tq9HdrStill hdr{reinterpret_cast<const uint16_t*>(deep.constBits()), static_cast<int>(deep.bytesPerLine()),
        deep.width(), deep.height(), m_transfer, m_primaries, m_peakNits};
    if (Tq9MediaHdrStillToSdr(&hdr, sdr.bits(), static_cast<int>(sdr.bytesPerLine())) != 0)
        return {};
    // The rest of the way down averages SDR colours, as a JPEG decoded to its frame's size does.
    if (sdr.width() > fitted.width() && sdr.height() > fitted.height())
        sdr = sdr.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return sdr;
}

} // namespace tq9
