#include "StillSources.h"

#include <QColor>
#include <QColorTransform>
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

bool WriteHeic(const std::filesystem::path& path, const QImage& picture, int orientation)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_image* image = nullptr;
    heif_encoding_options* options = heif_encoding_options_alloc();
    bool ok = heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code == heif_error_Ok &&
        heif_encoder_set_lossy_quality(encoder, 90).code == heif_error_Ok &&
        heif_image_create(rgb.width(), rgb.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image).code ==
            heif_error_Ok &&
        heif_image_add_plane(image, heif_channel_interleaved, rgb.width(), rgb.height(), 8).code == heif_error_Ok;
    if (ok) {
        int stride = 0;
        uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        for (int y = 0; y < rgb.height(); ++y)
            std::memcpy(plane + static_cast<size_t>(y) * stride, rgb.constScanLine(y), static_cast<size_t>(rgb.width()) * 3);
        const QByteArray icc = picture.colorSpace().isValid() ? picture.colorSpace().iccProfile() : QByteArray();
        if (!icc.isEmpty())
            ok = heif_image_set_raw_color_profile(image, "prof", icc.constData(), static_cast<size_t>(icc.size()))
                     .code == heif_error_Ok;
        options->image_orientation = static_cast<heif_orientation>(orientation);
        ok = ok && heif_context_encode_image(context, image, encoder, options, nullptr).code == heif_error_Ok &&
            heif_context_write_to_file(context, path.c_str()).code == heif_error_Ok;
    }
    heif_encoding_options_free(options);
    if (image)
        heif_image_release(image);
    if (encoder)
        heif_encoder_release(encoder);
    heif_context_free(context);
    return ok;
}

} // namespace tq9test
