// The C entry points for HDR still pictures (see tq9media.h): one picture through the tone mapping the
// video's pictures take (ColourConversion), in a filter graph of its own.
#include "medialib/tq9media.h"

#include "medialib/ColourConversion.h"
#include "medialib/Ffmpeg.h"

#include <cstring>

using namespace tq9media;

namespace {

// The picture as planar 16-bit R'G'B' (what zscale reads), tagged as it says.
FramePtr PlanarFrame(const Tq9HdrStill& picture)
{
    FramePtr frame = MakeFrame();
    frame->format = AV_PIX_FMT_GBRP16;
    frame->width = picture.width;
    frame->height = picture.height;
    Check(av_frame_get_buffer(frame.get(), 0), "still picture");
    frame->color_range = AVCOL_RANGE_JPEG;
    // The tone mapping takes its luma weights from the matrix the picture names, as an HDR video's says:
    // with R'G'B''s (1, 1, 1) it would desaturate and brighten everything above 2/3 of reference white
    // (150 cd/m2 grey came out at 0.88 of white instead of 0.74). zscale is told the pixels are R'G'B'.
    frame->colorspace = AVCOL_SPC_BT2020_NCL;
    frame->color_trc = static_cast<AVColorTransferCharacteristic>(picture.transfer);
    frame->color_primaries = static_cast<AVColorPrimaries>(picture.primaries);
    for (int y = 0; y < picture.height; ++y) {
        const uint16_t* in = reinterpret_cast<const uint16_t*>(
            reinterpret_cast<const uint8_t*>(picture.pixels) + static_cast<size_t>(y) * picture.stride);
        auto row = [&frame, y](int plane) {
            return reinterpret_cast<uint16_t*>(frame->data[plane] + static_cast<size_t>(y) * frame->linesize[plane]);
        };
        uint16_t* g = row(0);
        uint16_t* b = row(1);
        uint16_t* r = row(2);
        for (int x = 0; x < picture.width; ++x, in += 4) {
            r[x] = in[0];
            g[x] = in[1];
            b[x] = in[2];
        }
    }
    return frame;
}

AVFilterContext* FilterNamed(AVFilterGraph* graph, const char* name)
{
    for (unsigned i = 0; i < graph->nb_filters; ++i)
        if (std::strcmp(graph->filters[i]->filter->name, name) == 0)
            return graph->filters[i];
    return nullptr;
}

int ToSdr(const Tq9HdrStill& picture, uint8_t* out, int outStride)
{
    // A file's byte may name no value of FFmpeg's enums: such a number is never cast to one.
    if (!Tq9MediaIsHdrTransfer(picture.transfer))
        return AVERROR(EINVAL);
    const AVColorPrimaries primaries = picture.primaries > 0 && picture.primaries < AVCOL_PRI_NB
                                           ? static_cast<AVColorPrimaries>(picture.primaries)
                                           : AVCOL_PRI_UNSPECIFIED;
    const ColourConversion colour = ColourConversion::ForHdrStill(
        static_cast<AVColorTransferCharacteristic>(picture.transfer), primaries, picture.peakNits);
    if (colour.GetKind() == ColourConversion::Kind::None)
        return AVERROR(EINVAL);
    FilterGraphPtr graph(avfilter_graph_alloc());
    if (!graph)
        throw std::bad_alloc();
    graph->nb_threads = 1; // a fitted frame is small; the import runs other work beside it
    // One picture, so the whole graph is one description: source, conversion, sink.
    const std::string description = "buffer=video_size=" + std::to_string(picture.width) + "x" +
        std::to_string(picture.height) + ":pix_fmt=" + std::to_string(AV_PIX_FMT_GBRP16) +
        ":time_base=1/1:pixel_aspect=1/1," + colour.Filters(picture.width, picture.height, false, AV_PIX_FMT_GBRP) +
        ",buffersink";
    DebugLog("still filters: %s", description.c_str());
    AVFilterInOut* open[2] = {nullptr, nullptr}; // none: the description has no loose ends
    const int rc = avfilter_graph_parse2(graph.get(), description.c_str(), &open[0], &open[1]);
    avfilter_inout_free(&open[0]);
    avfilter_inout_free(&open[1]);
    Check(rc, "still filter description");
    Check(avfilter_graph_config(graph.get(), nullptr), "still filter graph");
    AVFilterContext* src = FilterNamed(graph.get(), "buffer");
    AVFilterContext* sink = FilterNamed(graph.get(), "buffersink");
    if (!src || !sink)
        return AVERROR_BUG;

    FramePtr frame = PlanarFrame(picture);
    Check(av_buffersrc_add_frame(src, frame.get()), "still filter input");
    Check(av_buffersrc_add_frame(src, nullptr), "still filter end");
    FramePtr sdr = MakeFrame();
    Check(av_buffersink_get_frame(sink, sdr.get()), "still filter output");
    if (sdr->format != AV_PIX_FMT_GBRP || sdr->width != picture.width || sdr->height != picture.height)
        return AVERROR_BUG;
    for (int y = 0; y < picture.height; ++y) {
        const uint8_t* g = sdr->data[0] + static_cast<size_t>(y) * sdr->linesize[0];
        const uint8_t* b = sdr->data[1] + static_cast<size_t>(y) * sdr->linesize[1];
        const uint8_t* r = sdr->data[2] + static_cast<size_t>(y) * sdr->linesize[2];
        uint8_t* rgb = out + static_cast<size_t>(y) * outStride;
        for (int x = 0; x < picture.width; ++x, rgb += 3) {
            rgb[0] = r[x];
            rgb[1] = g[x];
            rgb[2] = b[x];
        }
    }
    return 0;
}

} // namespace

extern "C" {

TQ9MEDIA_API int Tq9MediaIsHdrTransfer(int transfer)
{
    // Compared as numbers: a cICP chunk's byte (78, say) is no value of the enum.
    return transfer == AVCOL_TRC_SMPTE2084 || transfer == AVCOL_TRC_ARIB_STD_B67;
}

TQ9MEDIA_API int Tq9MediaHdrStillToSdr(const Tq9HdrStill* picture, uint8_t* out, int outStride)
{
    InitLibrary();
    if (!picture || !picture->pixels || !out || picture->width <= 0 || picture->height <= 0 ||
        picture->stride < int64_t{picture->width} * 8 || outStride < int64_t{picture->width} * 3)
        return AVERROR(EINVAL);
    return StatusOf([&] { return ToSdr(*picture, out, outStride); });
}

} // extern "C"
