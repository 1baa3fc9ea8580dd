#include "medialib/VideoChain.h"

#include "medialib/Streams.h"

extern "C" {
#include <libavutil/cpu.h>
#include <libavutil/pixdesc.h>
}

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace tq9media {

namespace {

std::string RationalText(AVRational r)
{
    return std::to_string(r.num) + "/" + std::to_string(r.den);
}

bool IsImageMuxer(const AVOutputFormat* f)
{
    const std::string name = f->name;
    return name == "image2" || name == "image2pipe";
}

AVPixelFormat ChooseEncoderFormat(const AVCodec* codec, AVPixelFormat source)
{
    if (codec->id == AV_CODEC_ID_BMP)
        return AV_PIX_FMT_BGR24; // 24-bit BMP
    if (!codec->pix_fmts)
        return source == AV_PIX_FMT_NONE ? AV_PIX_FMT_YUV420P : source;
    for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; ++p)
        if (*p == source)
            return source;
    return avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, source, 0, nullptr);
}

} // namespace

VideoChain::VideoChain(const OutputSpec& spec, const AVStream* in, const AVCodecContext* decoder, OutputFile& out,
    Reporter& reporter)
    : m_spec(spec), m_out(out), m_reporter(reporter), m_inTimeBase(in->time_base), m_rotation(DisplayRotation(in))
{
    m_inRate = in->avg_frame_rate.num > 0 && in->avg_frame_rate.den > 0 ? in->avg_frame_rate : in->r_frame_rate;
    if (!spec.videoCodec.empty())
        m_codec = avcodec_find_encoder_by_name(spec.videoCodec.c_str());
    else
        m_codec = avcodec_find_encoder(av_guess_codec(out.Context()->oformat, nullptr, spec.path.c_str(), nullptr,
            AVMEDIA_TYPE_VIDEO));
    if (!m_codec || m_codec->type != AVMEDIA_TYPE_VIDEO)
        throw MediaError(AVERROR_ENCODER_NOT_FOUND, "no video encoder " + spec.videoCodec);

    int width = decoder->width ? decoder->width : in->codecpar->width;
    int height = decoder->height ? decoder->height : in->codecpar->height;
    AVPixelFormat format = decoder->pix_fmt != AV_PIX_FMT_NONE ? decoder->pix_fmt
                                                                 : static_cast<AVPixelFormat>(in->codecpar->format);
    if (width <= 0 || height <= 0 || format == AV_PIX_FMT_NONE)
        throw MediaError(AVERROR_INVALIDDATA, "the video stream's picture size or format is unknown");
    m_encoderFormat = ChooseEncoderFormat(m_codec, format);
    m_colour = ColourConversion::ForStream(in, decoder);
    BuildGraph(width, height, format, decoder->sample_aspect_ratio);
    OpenEncoder();
}

VideoChain::~VideoChain()
{
    m_filterThread.reset(); // stops them without draining: the filters first, as they feed the encoder
    m_encodeThread.reset(); // before the encoder goes
    if (m_encoder)
        m_encoder->stats_in = nullptr; // ours (m_statsIn), not the encoder's to free
}

void VideoChain::BuildGraph(int width, int height, AVPixelFormat format, AVRational sar)
{
    FilterGraphPtr graph(avfilter_graph_alloc());
    if (!graph)
        throw std::bad_alloc();
    graph->scale_sws_opts = av_strdup("flags=bicubic"); // the ffmpeg tool's default
    // On two cores the decoder's and the encoder's threads already keep both busy; slice threads for the
    // scaler only add switching between them (same pictures, less CPU).
    if (av_cpu_count() <= 2)
        graph->nb_threads = 1;
    if (sar.num <= 0 || sar.den <= 0)
        sar = {0, 1};
    const std::string srcArgs = "video_size=" + std::to_string(width) + "x" + std::to_string(height) +
        ":pix_fmt=" + std::to_string(format) + ":time_base=" + RationalText(m_inTimeBase) +
        ":pixel_aspect=" + RationalText(sar);
    AVFilterContext* src = nullptr;
    AVFilterContext* sink = nullptr;
    Check(avfilter_graph_create_filter(&src, avfilter_get_by_name("buffer"), "in", srcArgs.c_str(), nullptr,
              graph.get()),
        "video source filter");
    Check(avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr, graph.get()),
        "video sink filter");

    // A constant rate: the fps filter drops or repeats pictures. It goes where it does least work: before the
    // scaler when the source has more pictures per second than the output, after it otherwise.
    std::string fps;
    bool fpsFirst = false;
    if (m_spec.constantFrameRate) {
        AVRational rate = m_spec.frameRate.num > 0 ? m_spec.frameRate : m_inRate;
        if (rate.num <= 0 || rate.den <= 0)
            rate = {25, 1};
        m_spec.frameRate = rate;
        fps = "fps=" + RationalText(rate);
        fpsFirst = m_inRate.num > 0 && m_inRate.den > 0 && av_cmp_q(m_inRate, rate) > 0;
    }
    std::string chain;
    auto add = [&chain](const std::string& f) {
        if (!f.empty())
            chain += (chain.empty() ? "" : ",") + f;
    };
    // Upright first, so that "-s" and "-vf" work on the picture as it is shown.
    if (m_rotation == 90)
        add("transpose=clock");
    else if (m_rotation == 180)
        add("hflip,vflip");
    else if (m_rotation == 270)
        add("transpose=cclock");
    if (fpsFirst)
        add(fps);
    // The colours: a single picture (a thumbnail) before its scaler, so that its few pixels mix colours
    // that are already SDR; video at the output size, after the pad when there is one (the full frame's
    // even size takes the cheapest path; the bars are black either way), else after the scaler.
    const bool quarterTurn = m_rotation == 90 || m_rotation == 270;
    const bool colourFirst = m_spec.maxVideoFrames == 1 || m_spec.width <= 0;
    int padWidth = 0, padHeight = 0;
    const bool colourAfterPad =
        !colourFirst && std::sscanf(m_spec.videoFilter.c_str(), "pad=%d:%d", &padWidth, &padHeight) == 2;
    const std::string colour = colourFirst
        ? m_colour.Filters(quarterTurn ? height : width, quarterTurn ? width : height, false, AV_PIX_FMT_YUV420P)
        : colourAfterPad ? m_colour.Filters(padWidth, padHeight, true, m_encoderFormat)
                         : m_colour.Filters(m_spec.width, m_spec.height, true, m_encoderFormat);
    if (colourFirst)
        add(colour);
    if (m_spec.width > 0)
        add("scale=" + std::to_string(m_spec.width) + ":" + std::to_string(m_spec.height));
    if (!colourFirst && !colourAfterPad)
        add(colour);
    add(m_spec.videoFilter);
    if (colourAfterPad)
        add(colour);
    if (!fps.empty() && !fpsFirst)
        add(fps);
    add(std::string("format=pix_fmts=") + av_get_pix_fmt_name(m_encoderFormat));
    DebugLog("video filters: %s", chain.c_str());

    FilterInOutPtr outputs(avfilter_inout_alloc());
    FilterInOutPtr inputs(avfilter_inout_alloc());
    if (!outputs || !inputs)
        throw std::bad_alloc();
    outputs->name = av_strdup("in");
    outputs->filter_ctx = src;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = sink;
    AVFilterInOut* in = inputs.release();
    AVFilterInOut* out = outputs.release();
    int rc = avfilter_graph_parse_ptr(graph.get(), chain.c_str(), &in, &out, nullptr);
    avfilter_inout_free(&in);
    avfilter_inout_free(&out);
    Check(rc, "video filter description");
    Check(avfilter_graph_config(graph.get(), nullptr), "video filter graph");

    if (m_encoder && (av_buffersink_get_w(sink) != m_encoder->width || av_buffersink_get_h(sink) != m_encoder->height))
        throw MediaError(AVERROR_INPUT_CHANGED, "the output picture size would change mid-stream");
    m_graph = std::move(graph);
    m_src = src;
    m_sink = sink;
    m_graphWidth = width;
    m_graphHeight = height;
    m_graphFormat = format;
}

void VideoChain::OpenEncoder()
{
    CodecContextPtr enc(avcodec_alloc_context3(m_codec));
    if (!enc)
        throw std::bad_alloc();
    enc->width = av_buffersink_get_w(m_sink);
    enc->height = av_buffersink_get_h(m_sink);
    enc->pix_fmt = static_cast<AVPixelFormat>(av_buffersink_get_format(m_sink));
    if (m_spec.constantFrameRate) {
        // Pictures count up one tick each: 1001/30000 or 1/25 (mpeg4 takes no denominator above 65535).
        enc->time_base = av_inv_q(m_spec.frameRate);
        enc->framerate = m_spec.frameRate;
    } else {
        enc->time_base = av_buffersink_get_time_base(m_sink);
        enc->framerate = av_buffersink_get_frame_rate(m_sink);
    }
    AVRational sar = av_buffersink_get_sample_aspect_ratio(m_sink);
    if (m_spec.width > 0 && !IsImageMuxer(m_out.Format()))
        sar = {4 * enc->height, 3 * enc->width}; // the device shows a 4:3 frame: 8:9 at 720x480, 16:15 at 720x576
    if (sar.num > 0 && sar.den > 0)
        av_reduce(&enc->sample_aspect_ratio.num, &enc->sample_aspect_ratio.den, sar.num, sar.den, 255);
    if (m_spec.videoBitRate > 0)
        enc->bit_rate = m_spec.videoBitRate;
    if (!IsImageMuxer(m_out.Format()))
        ColourConversion::TagOutput(enc.get());
    if (m_spec.bitRateTolerance > 0)
        enc->bit_rate_tolerance = static_cast<int>(std::min<int64_t>(m_spec.bitRateTolerance, INT32_MAX));
    if (!m_spec.codecFlags.empty())
        Check(av_opt_set(enc.get(), "flags", m_spec.codecFlags.c_str(), 0), "-flags");
    m_interlaced = enc->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME);
    if (m_out.WantsGlobalHeader())
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    enc->thread_count = 0;
    enc->thread_type = FF_THREAD_SLICE | FF_THREAD_FRAME;

    if (m_spec.pass == 1) {
        enc->flags |= AV_CODEC_FLAG_PASS1;
        m_statsGuard = std::make_unique<FileGuard>(m_spec.passLogFile);
        m_statsOut.reset(std::fopen(m_spec.passLogFile.c_str(), "wb"));
        if (!m_statsOut)
            throw MediaError(AVERROR(errno ? errno : EIO), "cannot create the pass log " + m_spec.passLogFile);
    } else if (m_spec.pass == 2) {
        enc->flags |= AV_CODEC_FLAG_PASS2;
        std::ifstream log(m_spec.passLogFile, std::ios::binary);
        std::ostringstream text;
        text << log.rdbuf();
        m_statsIn = text.str();
        if (!log || m_statsIn.empty())
            throw MediaError(AVERROR(EINVAL), "cannot read the pass log " + m_spec.passLogFile);
        enc->stats_in = m_statsIn.data();
    }
    int rc = avcodec_open2(enc.get(), m_codec, nullptr);
    if (rc < 0) {
        enc->stats_in = nullptr;
        Check(rc, "open video encoder");
    }
    m_encoder = std::move(enc);
    m_encoderTimeBase = m_encoder->time_base;
    m_encoderSar = m_encoder->sample_aspect_ratio;
    m_stream = m_out.AddStream(m_encoder.get());
}

void VideoChain::Push(AVFrame* frame)
{
    if (Done() || m_finished)
        return;
    if (!m_filterThread && m_spec.maxVideoFrames < 0 && av_cpu_count() > 1)
        m_filterThread = std::make_unique<FrameThread>(kFilterDepth, [this](AVFrame* f) {
            if (f)
                Filter(f);
        });
    if (!m_filterThread)
        return Filter(frame);
    FramePtr queued = MakeFrame();
    Check(av_frame_ref(queued.get(), frame), "queue picture");
    m_filterThread->Push(std::move(queued));
}

void VideoChain::Filter(AVFrame* frame)
{
    const ColourConversion colour = ColourConversion::ForFrame(frame, m_colour);
    if (frame->width != m_graphWidth || frame->height != m_graphHeight || frame->format != m_graphFormat ||
        !(colour == m_colour)) {
        // The source changed size, format or colours (or the pictures say more than the stream did): finish
        // the old graph's pictures, then build a new one.
        m_colour = colour;
        CloseGraph();
        BuildGraph(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format), frame->sample_aspect_ratio);
    }
    if (frame->pts != AV_NOPTS_VALUE) {
        // Where this picture ends, so that the constant-rate filter also covers the last one.
        int64_t duration = frame->pkt_duration;
        if (duration <= 0 && m_inRate.num > 0 && m_inRate.den > 0)
            duration = av_rescale_q(1, av_inv_q(m_inRate), m_inTimeBase);
        const int64_t end = frame->pts + std::max<int64_t>(duration, 1);
        m_inEnd = m_inEnd == AV_NOPTS_VALUE ? end : std::max(m_inEnd, end);
    }
    Check(av_buffersrc_add_frame(m_src, frame), "video filter input");
    Drain();
}

void VideoChain::CloseGraph()
{
    if (m_inEnd != AV_NOPTS_VALUE)
        Check(av_buffersrc_close(m_src, m_inEnd, 0), "video filter end");
    else
        Check(av_buffersrc_add_frame(m_src, nullptr), "video filter end");
    Drain();
}

void VideoChain::Drain()
{
    for (;;) {
        int rc = av_buffersink_get_frame(m_sink, m_filtered.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return;
        Check(rc, "video filter output");
        Encode(m_filtered.get());
        av_frame_unref(m_filtered.get());
    }
}

void VideoChain::Encode(AVFrame* frame)
{
    if (Done())
        return;
    m_reporter.CheckStop();
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    frame->sample_aspect_ratio = m_encoderSar;
    if (m_interlaced) {
        // The encoder takes the field order from each picture: every one says interlaced, top first.
        frame->interlaced_frame = 1;
        frame->top_field_first = m_spec.topFieldFirst >= 0 ? m_spec.topFieldFirst : 1;
    } else if (m_spec.topFieldFirst >= 0) {
        frame->top_field_first = m_spec.topFieldFirst;
    }
    const AVRational sinkTb = av_buffersink_get_time_base(m_sink);
    if (frame->pts != AV_NOPTS_VALUE)
        frame->pts = av_rescale_q(frame->pts, sinkTb, m_encoderTimeBase);
    else
        frame->pts = m_framesSent; // only reached without timestamps and without "-vsync 1"
    const int64_t tick = m_spec.constantFrameRate ? 1 : 0;
    m_endUs.store(std::max(EndUs(), av_rescale_q(frame->pts + tick, m_encoderTimeBase, AV_TIME_BASE_Q)),
        std::memory_order_relaxed);
    ++m_framesSent;
    FramePtr queued = MakeFrame();
    av_frame_move_ref(queued.get(), frame);
    StartEncoder();
    m_encodeThread->Push(std::move(queued));
}

void VideoChain::StartEncoder()
{
    if (!m_encodeThread)
        m_encodeThread = std::make_unique<EncoderThread>(m_encoder.get(), kQueueDepth, "encode video",
            [this](AVPacket* packet) { WritePacket(packet); });
}

void VideoChain::WritePacket(AVPacket* packet)
{
    if (m_statsOut && m_encoder->stats_out && std::fputs(m_encoder->stats_out, m_statsOut.get()) < 0)
        throw MediaError(AVERROR(EIO), "cannot write the pass log");
    if (m_spec.constantFrameRate && packet->duration <= 0)
        packet->duration = 1;
    m_out.Write(packet, m_stream, m_encoderTimeBase);
}

void VideoChain::Finish()
{
    if (m_finished)
        return;
    m_finished = true;
    if (m_filterThread) {
        m_filterThread->Finish([this] { m_reporter.Tick(); });
        m_filterThread.reset();
    }
    if (!Done())
        CloseGraph();
    StartEncoder();
    m_encodeThread->Finish([this] { m_reporter.Tick(); }); // the caller's stop check during the drain
    if (m_statsOut) {
        std::FILE* f = m_statsOut.release();
        if (std::fclose(f) != 0)
            throw MediaError(AVERROR(EIO), "cannot write the pass log");
        m_statsGuard->Commit();
    }
}

} // namespace tq9media
