#include "platform/ImageFile.h"

#include <QColorSpace>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <fcntl.h>
#include <unistd.h>

#include "platform/FileIo.h"
#include "platform/HeifImage.h"
#include "platform/UniqueFd.h"

namespace tq9 {

namespace {

QString ToQString(const std::string& path)
{
    return QString::fromStdString(path);
}

// Qt takes file names as text, which loses a name that is not UTF-8 (Linux allows any bytes): sources
// are opened here and handed to Qt as a device.
bool OpenSource(const std::string& path, QFile& file, bool followLinks = true)
{
    CUniqueFd fd(followLinks ? CFileIo::OpenRead(path) : CFileIo::OpenReadNoFollow(path));
    if (!fd.IsOpen() || !file.open(fd.Get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return false;
    fd.Release(); // the file closes it now
    return true;
}

// Pictures are taken upright, as a viewer shows them: a camera's EXIF orientation is applied.
void ReadUpright(QImageReader& reader)
{
    reader.setAutoTransform(true);
}

// The size as shown: a quarter turn swaps the stored width and height.
QSize ShownSize(const QImageReader& reader, QSize stored)
{
    if (stored.isValid() && (reader.transformation() & QImageIOHandler::TransformationRotate90))
        stored.transpose();
    return stored;
}

bool IsHeif(QFile& file)
{
    return CHeifImage::IsHeif(file.peek(CHeifImage::kHeadSize));
}

// libheif reads from memory: the whole file, but never more than any photo needs (a valid head before a
// gigabyte of zeros would otherwise cost a gigabyte). Empty for a larger file, which then fails to read.
QByteArray ReadHeif(QFile& file)
{
    return file.size() <= CHeifImage::kMaxFileBytes ? file.readAll() : QByteArray();
}

// The device shows sRGB: a picture with an embedded profile (Display P3, Adobe RGB) is converted, so that
// its colours do not come out dull or shifted. Done on the fitted frame drawn from it (space is the
// picture's): a tenth of the work of a 12 MP picture's, and black bars stay black in every RGB space.
// The frame is saved without a profile, as the device's own pictures are.
void ToSrgb(QImage& frame, const QColorSpace& space)
{
    if (!space.isValid() || space == QColorSpace(QColorSpace::SRgb))
        return;
    frame.setColorSpace(space);
    frame.convertToColorSpace(QColorSpace::SRgb);
    frame.setColorSpace(QColorSpace());
}

} // namespace

QImage CImageFile::LoadSidecar(const std::string& path)
{
    QFile file;
    if (!OpenSource(path, file, false))
        return {};
    QImageReader reader(&file);
    return reader.read();
}

bool CImageFile::ReadSize(const std::string& path, uint32_t& width, uint32_t& height)
{
    QFile file;
    if (!OpenSource(path, file))
        return false;
    QImageReader reader;
    QSize size;
    if (IsHeif(file)) {
        size = CHeifImage::ShownSize(ReadHeif(file));
    } else {
        reader.setDevice(&file);
        ReadUpright(reader);
        size = ShownSize(reader, reader.size());
    }
    if (!size.isValid() && reader.device()) {
        // Some formats only know their size once decoded.
        const QImage image = reader.read();
        if (image.isNull())
            return false;
        size = image.size();
    }
    if (size.width() <= 0 || size.height() <= 0)
        return false;
    width = static_cast<uint32_t>(size.width());
    height = static_cast<uint32_t>(size.height());
    return true;
}

bool CImageFile::ComposeAndSave(const std::string& source, const Rect& target, int canvasWidth, int canvasHeight,
                                const std::string& encoder, int quality, const std::string& destination)
{
    QFile sourceFile;
    if (!OpenSource(source, sourceFile))
        return false;
    const bool drawn = target.width > 0 && target.height > 0;
    bool decodeScaled = false;
    QImage picture;
    CHdrStill hdr;
    if (IsHeif(sourceFile)) {
        picture = CHeifImage::Read(ReadHeif(sourceFile), &hdr);
    } else {
        hdr = CHdrStill::OfPng(sourceFile);
        QImageReader reader(&sourceFile);
        ReadUpright(reader);
        const QSize full = ShownSize(reader, reader.size());
        const bool turned = full != reader.size();
        // Decoding straight to the target size keeps a large JPEG fast and small (the decoder scales while
        // it decodes); enlarging is left to the painter.
        // An HDR picture is reduced by CHdrStill instead.
        decodeScaled = drawn && !hdr.IsHdr() && full.isValid() && target.width <= full.width() &&
            target.height <= full.height();
        // The decoder scales the picture as stored, before turning it.
        if (decodeScaled)
            reader.setScaledSize(turned ? QSize(target.height, target.width) : QSize(target.width, target.height));
        picture = reader.read();
    }
    if (hdr.IsHdr())
        picture = hdr.ToSdr(picture, QSize(target.width, target.height));
    if (picture.isNull())
        return false;

    QImage canvas(canvasWidth, canvasHeight, QImage::Format_RGB888);
    if (canvas.isNull())
        return false;
    canvas.fill(Qt::black);
    if (drawn) {
        QPainter painter(&canvas);
        if (!painter.isActive())
            return false;
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QRect rect(target.x, target.y, target.width, target.height);
        if ((decodeScaled || hdr.IsHdr()) && picture.size() == rect.size())
            painter.drawImage(rect.topLeft(), picture);
        else
            painter.drawImage(rect, picture);
    }

    ToSrgb(canvas, picture.colorSpace());

    // QSaveFile writes a temporary file beside the destination and renames it only on commit.
    QSaveFile file(ToQString(destination));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QImageWriter writer(&file, QByteArray::fromStdString(encoder));
    writer.setQuality(quality);
    if (!writer.write(canvas)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

int CImageFile::FindEncoder(const std::string& mimeType, std::string& encoder)
{
    const QByteArray wanted = QByteArray::fromStdString(mimeType);
    const QList<QByteArray> mimeTypes = QImageWriter::supportedMimeTypes();
    for (qsizetype i = 0; i < mimeTypes.size(); ++i) {
        if (mimeTypes[i] != wanted)
            continue;
        const QList<QByteArray> formats = QImageWriter::imageFormatsForMimeType(wanted);
        if (formats.isEmpty())
            return -1;
        encoder = formats.first().toStdString();
        return static_cast<int>(i);
    }
    return -1;
}

} // namespace tq9
