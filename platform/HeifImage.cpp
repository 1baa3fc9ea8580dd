#include "platform/HeifImage.h"

#include <QColorSpace>
#include <QPointF>
#include <libheif/heif.h>
#include <memory>

namespace tq9 {

namespace {

struct ContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleFree {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageFree {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct NclxFree {
    void operator()(heif_color_profile_nclx* n) const { heif_nclx_color_profile_free(n); }
};
using ContextPtr = std::unique_ptr<heif_context, ContextFree>;
using HandlePtr = std::unique_ptr<heif_image_handle, HandleFree>;
using ImagePtr = std::unique_ptr<heif_image, ImageFree>;
using NclxPtr = std::unique_ptr<heif_color_profile_nclx, NclxFree>;

// The primary picture of file; file must outlive context (it is not copied).
HandlePtr PrimaryPicture(const QByteArray& file, ContextPtr& context)
{
    context.reset(heif_context_alloc());
    if (!context || heif_context_read_from_memory_without_copy(context.get(), file.constData(),
                        static_cast<size_t>(file.size()), nullptr)
                            .code != heif_error_Ok)
        return nullptr;
    heif_image_handle* handle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &handle).code != heif_error_Ok)
        return nullptr;
    return HandlePtr(handle);
}

// An ICC profile, or the primaries of an nclx description with an SDR transfer; invalid otherwise.
QColorSpace ColourSpaceOf(const heif_image_handle* handle)
{
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type == heif_color_profile_type_prof || type == heif_color_profile_type_rICC) {
        QByteArray icc(static_cast<qsizetype>(heif_image_handle_get_raw_color_profile_size(handle)), '\0');
        if (icc.isEmpty() || heif_image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok)
            return {};
        return QColorSpace::fromIccProfile(icc);
    }
    heif_color_profile_nclx* raw = nullptr;
    if (heif_image_handle_get_nclx_color_profile(handle, &raw).code != heif_error_Ok || !raw)
        return {};
    const NclxPtr nclx(raw);
    if (nclx->color_primaries == heif_color_primaries_unspecified)
        return {};
    QColorSpace::TransferFunction transfer = QColorSpace::TransferFunction::SRgb;
    switch (nclx->transfer_characteristics) {
    case heif_transfer_characteristic_linear:
        transfer = QColorSpace::TransferFunction::Linear;
        break;
    case heif_transfer_characteristic_ITU_R_BT_2100_0_PQ:
    case heif_transfer_characteristic_ITU_R_BT_2100_0_HLG:
        return {}; // HDR stills are left as they are
    default:
        break; // sRGB and the video curves photos are tagged with, all close to sRGB's
    }
    return QColorSpace(QPointF(nclx->color_primary_white_x, nclx->color_primary_white_y),
        QPointF(nclx->color_primary_red_x, nclx->color_primary_red_y),
        QPointF(nclx->color_primary_green_x, nclx->color_primary_green_y),
        QPointF(nclx->color_primary_blue_x, nclx->color_primary_blue_y), transfer);
}

} // namespace

bool CHeifImage::IsHeif(const QByteArray& head)
{
    if (head.size() < kHeadSize)
        return false;
    return heif_check_filetype(reinterpret_cast<const uint8_t*>(head.constData()), static_cast<int>(head.size())) ==
        heif_filetype_yes_supported;
}

QSize CHeifImage::ShownSize(const QByteArray& file)
{
    ContextPtr context;
    const HandlePtr handle = PrimaryPicture(file, context);
    if (!handle)
        return {};
    return QSize(heif_image_handle_get_width(handle.get()), heif_image_handle_get_height(handle.get()));
}

QImage CHeifImage::Read(const QByteArray& file)
{
    ContextPtr context;
    const HandlePtr handle = PrimaryPicture(file, context);
    if (!handle)
        return {};
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get());
    heif_image* raw = nullptr;
    // libheif applies the rotation and mirroring the file asks for (irot, imir) while decoding.
    if (heif_decode_image(handle.get(), &raw, heif_colorspace_RGB,
            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, nullptr)
            .code != heif_error_Ok)
        return {};
    const ImagePtr image(raw);
    int stride = 0;
    const uint8_t* pixels = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (!pixels || width <= 0 || height <= 0)
        return {};
    // A deep copy: the pixels belong to the decoded image, released on return.
    QImage picture =
        QImage(pixels, width, height, stride, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888).copy();
    picture.setColorSpace(ColourSpaceOf(handle.get()));
    return picture;
}

} // namespace tq9
