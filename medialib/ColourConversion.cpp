#include "medialib/ColourConversion.h"

extern "C" {
#include <libavutil/mastering_display_metadata.h>
#include <libavutil/pixdesc.h>
}

#include <cstdarg>
#include <cstdio>

namespace tq9media {

namespace {

// BT.2408: HDR material puts diffuse ("reference") white at 203 cd/m2; it becomes the SDR picture's white.
constexpr double kReferenceWhiteNits = 203;
// HLG is made for a 1000 cd/m2 display, and most PQ material is mastered for one when it does not say.
constexpr double kAssumedPeakNits = 1000;
// The tone curve leaves everything up to this share of reference white alone and rolls the highlights off
// above it (mobius), so SDR-range colours keep their saturation and brightness.
constexpr double kToneKnee = 0.9;

// The usual rule for a source that does not name its matrix: SD sizes are BT.601, anything larger BT.709.
bool IsHdSize(int width, int height)
{
    return width >= 1280 || height > 576;
}

// What zscale and the colorspace filter call the matrices they read.
struct MatrixNames {
    AVColorSpace matrix;
    const char* zscale;
    const char* colorspace;
};
constexpr MatrixNames kMatrixNames[] = {
    {AVCOL_SPC_BT709, "709", "bt709"},
    {AVCOL_SPC_FCC, "fcc", "fcc"},
    {AVCOL_SPC_SMPTE240M, "7", "smpte240m"}, // FFmpeg 5.1's zscale spells it "smpte2400m"
    {AVCOL_SPC_YCGCO, "ycgco", "ycgco"},
    {AVCOL_SPC_BT2020_NCL, "2020_ncl", "bt2020ncl"},
    {AVCOL_SPC_BT2020_CL, "2020_cl", "bt2020ncl"},
    {AVCOL_SPC_RGB, "gbr", "gbr"}, // R'G'B' stills; only zscale reads them
};

const MatrixNames& NamesOf(AVColorSpace matrix)
{
    for (const MatrixNames& names : kMatrixNames)
        if (names.matrix == matrix)
            return names;
    return kMatrixNames[0];
}

double PeakNits(const AVContentLightMetadata* light, const AVMasteringDisplayMetadata* display)
{
    if (light && light->MaxCLL > 0)
        return light->MaxCLL;
    if (display && display->has_luminance && display->max_luminance.den > 0)
        return av_q2d(display->max_luminance);
    return 0;
}

std::string Format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* pattern, ...)
{
    char text[512];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    return text;
}

} // namespace

ColourConversion ColourConversion::Classify(AVColorSpace matrix, AVColorPrimaries primaries,
    AVColorTransferCharacteristic transfer, AVColorRange range, AVPixelFormat format, int width, int height,
    double peakNits)
{
    ColourConversion c;
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    if (desc && (desc->flags & AV_PIX_FMT_FLAG_RGB))
        return c; // the scaler turns RGB into YUV with the BT.601 matrix already
    c.m_fullRange = range == AVCOL_RANGE_JPEG || format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P ||
        format == AV_PIX_FMT_YUVJ444P;
    c.m_peakNits = peakNits;
    c.m_matrix = matrix;
    if (transfer == AVCOL_TRC_SMPTE2084)
        c.m_kind = Kind::Pq;
    else if (transfer == AVCOL_TRC_ARIB_STD_B67)
        c.m_kind = Kind::Hlg;
    else if (primaries == AVCOL_PRI_BT2020 || matrix == AVCOL_SPC_BT2020_NCL || matrix == AVCOL_SPC_BT2020_CL)
        c.m_kind = Kind::Gamut;
    if (c.m_kind != Kind::None) {
        if (matrix != AVCOL_SPC_BT2020_CL && matrix != AVCOL_SPC_BT709)
            c.m_matrix = AVCOL_SPC_BT2020_NCL;
        return c;
    }
    if (matrix == AVCOL_SPC_UNSPECIFIED || matrix == AVCOL_SPC_RESERVED)
        c.m_matrix = IsHdSize(width, height) ? AVCOL_SPC_BT709 : AVCOL_SPC_SMPTE170M;
    switch (c.m_matrix) {
    case AVCOL_SPC_BT709:
    case AVCOL_SPC_FCC:
    case AVCOL_SPC_SMPTE240M:
    case AVCOL_SPC_YCGCO:
        c.m_kind = Kind::Matrix;
        break;
    default: // BT.601 (SMPTE 170M, BT.470 BG) and anything we cannot convert from
        c.m_kind = Kind::None;
        c.m_peakNits = 0;
        c.m_fullRange = false;
        c.m_matrix = AVCOL_SPC_UNSPECIFIED;
    }
    return c;
}

ColourConversion ColourConversion::ForStream(const AVStream* in, const AVCodecContext* decoder)
{
    const AVCodecParameters* par = in->codecpar;
    size_t size = 0;
    const auto* light = reinterpret_cast<const AVContentLightMetadata*>(
        av_stream_get_side_data(in, AV_PKT_DATA_CONTENT_LIGHT_LEVEL, &size));
    const auto* display = reinterpret_cast<const AVMasteringDisplayMetadata*>(
        av_stream_get_side_data(in, AV_PKT_DATA_MASTERING_DISPLAY_METADATA, &size));
    const AVPixelFormat format =
        decoder->pix_fmt != AV_PIX_FMT_NONE ? decoder->pix_fmt : static_cast<AVPixelFormat>(par->format);
    return Classify(decoder->colorspace != AVCOL_SPC_UNSPECIFIED ? decoder->colorspace : par->color_space,
        decoder->color_primaries != AVCOL_PRI_UNSPECIFIED ? decoder->color_primaries : par->color_primaries,
        decoder->color_trc != AVCOL_TRC_UNSPECIFIED ? decoder->color_trc : par->color_trc,
        decoder->color_range != AVCOL_RANGE_UNSPECIFIED ? decoder->color_range : par->color_range, format,
        decoder->width ? decoder->width : par->width, decoder->height ? decoder->height : par->height,
        PeakNits(light, display));
}

ColourConversion ColourConversion::ForFrame(const AVFrame* frame, const ColourConversion& previous)
{
    const AVFrameSideData* light = av_frame_get_side_data(frame, AV_FRAME_DATA_CONTENT_LIGHT_LEVEL);
    const AVFrameSideData* display = av_frame_get_side_data(frame, AV_FRAME_DATA_MASTERING_DISPLAY_METADATA);
    double peak = PeakNits(light ? reinterpret_cast<const AVContentLightMetadata*>(light->data) : nullptr,
        display ? reinterpret_cast<const AVMasteringDisplayMetadata*>(display->data) : nullptr);
    if (peak <= 0)
        peak = previous.m_peakNits; // the light level comes with some pictures only (the keyframes)
    return Classify(frame->colorspace, frame->color_primaries, frame->color_trc, frame->color_range,
        static_cast<AVPixelFormat>(frame->format), frame->width, frame->height, peak);
}

ColourConversion ColourConversion::ForHdrStill(AVColorTransferCharacteristic transfer, AVColorPrimaries primaries,
    double peakNits)
{
    ColourConversion c;
    if (!IsHdrTransfer(transfer))
        return c;
    // What does not say (or says what zscale does not know) is read as BT.2020, as for video.
    switch (primaries) {
    case AVCOL_PRI_BT709:
    case AVCOL_PRI_SMPTE170M:
    case AVCOL_PRI_SMPTE432: // Display P3
    case AVCOL_PRI_SMPTE431:
        c.m_hdrPrimaries = primaries;
        break;
    default:
        break;
    }
    c.m_kind = transfer == AVCOL_TRC_SMPTE2084 ? Kind::Pq : Kind::Hlg;
    c.m_matrix = AVCOL_SPC_RGB;
    c.m_fullRange = true;
    c.m_peakNits = peakNits;
    c.m_srgbOut = true;
    return c;
}

std::string ColourConversion::Filters(int width, int height, bool scaled, AVPixelFormat next) const
{
    if (m_kind == Kind::None)
        return {};
    // zimg needs whole chroma samples: an odd size (a letterboxed 720x405) goes through 4:4:4 (R'G'B' has none).
    const bool odd = m_matrix != AVCOL_SPC_RGB && ((width | height) & 1);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(next);
    const char* output = desc && (desc->flags & AV_PIX_FMT_FLAG_RGB) ? "gbrp"
        : odd || !desc                                               ? "yuv444p"
                                                                     : desc->name;
    // zscale takes what it is not told from the picture, which may say nothing: every side is named.
    const char* range = !scaled && m_fullRange ? "full" : "limited";
    std::string chain = odd ? "format=pix_fmts=yuv444p|yuv444p10le|yuv444p12le|yuv444p16le," : "";
    if (m_kind == Kind::Matrix && !odd) // the matrix alone, in one integer step on 4:2:0 (the cheapest)
        return Format("colorspace=ispace=%s:iprimaries=bt709:itrc=bt709:irange=%s"
                      ":space=smpte170m:primaries=bt709:trc=bt709:range=tv",
            NamesOf(m_matrix).colorspace, !scaled && m_fullRange ? "pc" : "tv");
    if (m_kind == Kind::Matrix) // the colorspace filter takes no odd size
        return chain + Format("zscale=rin=%s:min=%s:pin=709:tin=709:r=limited:m=170m:p=709:t=709,format=pix_fmts=%s",
                           range, NamesOf(m_matrix).zscale, output);
    // Linear light with reference white at 1.0, in BT.709 primaries (what falls outside is clipped at the end).
    const char* transfer = m_kind == Kind::Pq ? "smpte2084" : m_kind == Kind::Hlg ? "arib-std-b67" : "709";
    const char* primaries =
        m_hdrPrimaries == AVCOL_PRI_BT2020 ? "2020" : av_color_primaries_name(m_hdrPrimaries); // zscale's names
    chain += Format("zscale=rin=%s:min=%s:pin=%s:tin=%s:npl=%g:r=full:p=709:t=linear,format=gbrpf32le,", range,
        NamesOf(m_matrix).zscale, primaries, transfer, kReferenceWhiteNits);
    const double peak = (m_kind == Kind::Pq && m_peakNits > 0 ? m_peakNits : kAssumedPeakNits) / kReferenceWhiteNits;
    if (m_kind != Kind::Gamut && peak > 1)
        chain += Format("tonemap=tonemap=mobius:param=%g:peak=%g,", kToneKnee, peak);
    // 10 bits and more come down to 8 with a dither, so that gradients do not band.
    return chain + Format("zscale=rin=full:pin=709:tin=linear:r=limited:p=709:t=%s:m=170m:dither=ordered,"
                          "format=pix_fmts=%s",
                       m_srgbOut ? "iec61966-2-1" : "709", output);
}

void ColourConversion::TagOutput(AVCodecContext* encoder)
{
    encoder->color_range = AVCOL_RANGE_MPEG;
    encoder->colorspace = AVCOL_SPC_SMPTE170M;
    encoder->color_primaries = AVCOL_PRI_SMPTE170M;
    encoder->color_trc = AVCOL_TRC_SMPTE170M;
}

} // namespace tq9media
