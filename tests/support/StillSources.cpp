#include "StillSources.h"

#include <QColor>
#include <QBuffer>
#include <QColorTransform>
#include <QFile>
#include <cstring>
#include <libheif/heif.h>

namespace tq9test {

QImage PictureIn(const QColorSpace& space, QRgb srgb, int w, int h)
{
    const QColorTransform toSpace = QColorSpace(QColorSpace::SRgb).transformationToColorSpace(space);
    QImage picture(w, h, QImage::Format_RGB32);
    picture.fill(toSpace.map(srgb));
    picture.setColorSpace(space);
    return picture;
}

namespace {

// Encodes image (HEVC, quality 90) into path with options; releases image.
bool EncodeHeic(const std::filesystem::path& path, heif_image* image, heif_encoding_options* options)
{
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    const bool ok = heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code == heif_error_Ok &&
        heif_encoder_set_lossy_quality(encoder, 90).code == heif_error_Ok &&
        heif_context_encode_image(context, image, encoder, options, nullptr).code == heif_error_Ok &&
        heif_context_write_to_file(context, path.c_str()).code == heif_error_Ok;
    if (encoder)
        heif_encoder_release(encoder);
    heif_image_release(image);
    heif_context_free(context);
    return ok;
}

// A heif_image of w x h interleaved RGB at bits per sample; null on failure.
heif_image* NewRgbImage(int w, int h, int bits, uint8_t*& plane, int& stride)
{
    heif_image* image = nullptr;
    if (heif_image_create(w, h, heif_colorspace_RGB,
            bits > 8 ? heif_chroma_interleaved_RRGGBB_LE : heif_chroma_interleaved_RGB, &image)
            .code != heif_error_Ok)
        return nullptr;
    if (heif_image_add_plane(image, heif_channel_interleaved, w, h, bits).code != heif_error_Ok) {
        heif_image_release(image);
        return nullptr;
    }
    plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    return image;
}

uint32_t PngCrc(const QByteArray& bytes)
{
    uint32_t crc = 0xffffffffu;
    for (const char c : bytes) {
        crc ^= static_cast<uint8_t>(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray BigEndian32(uint32_t v)
{
    const char bytes[] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
        static_cast<char>(v)};
    return QByteArray(bytes, 4);
}

} // namespace

bool WriteHeic(const std::filesystem::path& path, const QImage& picture, int orientation)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    uint8_t* plane = nullptr;
    int stride = 0;
    heif_image* image = NewRgbImage(rgb.width(), rgb.height(), 8, plane, stride);
    if (!image)
        return false;
    for (int y = 0; y < rgb.height(); ++y)
        std::memcpy(plane + static_cast<size_t>(y) * stride, rgb.constScanLine(y), static_cast<size_t>(rgb.width()) * 3);
    const QByteArray icc = picture.colorSpace().isValid() ? picture.colorSpace().iccProfile() : QByteArray();
    if (!icc.isEmpty() &&
        heif_image_set_raw_color_profile(image, "prof", icc.constData(), static_cast<size_t>(icc.size())).code !=
            heif_error_Ok) {
        heif_image_release(image);
        return false;
    }
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = static_cast<heif_orientation>(orientation);
    const bool ok = EncodeHeic(path, image, options);
    heif_encoding_options_free(options);
    return ok;
}

bool WriteHdrHeic(const std::filesystem::path& path, const QImage& picture, int transfer, int maxCll)
{
    const QImage deep = picture.convertToFormat(QImage::Format_RGBX64);
    uint8_t* plane = nullptr;
    int stride = 0;
    heif_image* image = NewRgbImage(deep.width(), deep.height(), 10, plane, stride);
    if (!image)
        return false;
    for (int y = 0; y < deep.height(); ++y) {
        const auto* in = reinterpret_cast<const uint16_t*>(deep.constScanLine(y));
        auto* out = reinterpret_cast<uint16_t*>(plane + static_cast<size_t>(y) * stride);
        for (int x = 0; x < deep.width(); ++x)
            for (int c = 0; c < 3; ++c)
                out[x * 3 + c] = static_cast<uint16_t>(in[x * 4 + c] >> 6);
    }
    heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
    nclx->color_primaries = heif_color_primaries_ITU_R_BT_2020_2_and_2100_0;
    nclx->transfer_characteristics = static_cast<heif_transfer_characteristics>(transfer);
    nclx->matrix_coefficients = heif_matrix_coefficients_ITU_R_BT_2020_2_non_constant_luminance;
    nclx->full_range_flag = 1;
    if (maxCll > 0) {
        const heif_content_light_level light{static_cast<uint16_t>(maxCll), static_cast<uint16_t>(maxCll / 4)};
        heif_image_set_content_light_level(image, &light);
    }
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->output_nclx_profile = nclx;
    options->macOS_compatibility_workaround_no_nclx_profile = 0; // else the description is left out
    heif_image_set_nclx_color_profile(image, nclx);
    const bool ok = EncodeHeic(path, image, options);
    heif_encoding_options_free(options);
    heif_nclx_color_profile_free(nclx);
    return ok;
}

bool WriteHdrPng(const std::filesystem::path& path, const QImage& picture, int transfer)
{
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !picture.convertToFormat(QImage::Format_RGBX64).save(&buffer, "PNG"))
        return false;
    // cICP goes before the pixels: right after the header chunk (signature 8 + IHDR 25 bytes).
    const char cicp[] = {'c', 'I', 'C', 'P', 9, static_cast<char>(transfer), 0, 1}; // BT.2020, R'G'B', full range
    const QByteArray body(cicp, sizeof cicp);
    png.insert(33, BigEndian32(4) + body + BigEndian32(PngCrc(body)));
    QFile file(QString::fromStdString(path.string()));
    return file.open(QIODevice::WriteOnly) && file.write(png) == png.size();
}

} // namespace tq9test
