#include "medialib/Probe.h"

#include "medialib/InputGuard.h"
#include "medialib/Streams.h"

namespace tq9media {

namespace {

void ReportVideo(const AVFormatContext* ctx, AVStream* st, int id, Reporter& r)
{
    const AVCodecParameters* par = st->codecpar;
    r.Send(TQ9_EVENT_RESOLUTION, id, Tq9EventPair(par->width, par->height));
    AVRational sar = av_guess_sample_aspect_ratio(const_cast<AVFormatContext*>(ctx), st, nullptr);
    if (sar.num > 0 && sar.den > 0 && par->width > 0 && par->height > 0) {
        // Only a known sample aspect gives a display aspect; without one the caller judges by pixel size.
        int darNum = 0, darDen = 0;
        av_reduce(&darNum, &darDen, int64_t(par->width) * sar.num, int64_t(par->height) * sar.den, INT32_MAX);
        r.Send(TQ9_EVENT_DAR, id, Tq9EventPair(darNum, darDen));
        r.Send(TQ9_EVENT_PAR, id, Tq9EventPair(sar.num, sar.den));
    } else {
        r.Send(TQ9_EVENT_PAR, id, Tq9EventPair(0, 1));
    }
    r.Send(TQ9_EVENT_V_BIT_RATE, id, Tq9EventFromDouble(static_cast<double>(par->bit_rate)));
    if (const int rotation = DisplayRotation(st))
        r.Send(TQ9_EVENT_ROTATION, id, rotation);
}

void ReportAudio(const AVStream* st, int id, Reporter& r)
{
    const AVCodecParameters* par = st->codecpar;
    r.Send(TQ9_EVENT_A_BIT_RATE, id, Tq9EventFromDouble(static_cast<double>(par->bit_rate)));
    r.Send(TQ9_EVENT_SAMPLING_RATE, id, par->sample_rate);
    r.Send(TQ9_EVENT_CHANNEL, id, par->ch_layout.nb_channels);
}

} // namespace

void RunProbe(const InputSpec& input, Reporter& reporter)
{
    InputGuard guard(&reporter);
    InputContextPtr ctx = OpenInput(input.path, input.format, &guard);
    const StreamChoice choice = ChooseStreams(ctx.get());
    if (choice.video < 0 && choice.audio < 0)
        throw MediaError(AVERROR_STREAM_NOT_FOUND, "no audio or video stream");
    reporter.CheckStop();
    reporter.Send(TQ9_EVENT_FORMAT_INFO, 0, Tq9EventFromString(ctx->iformat->name));
    bool estimated = false;
    const int64_t durationUs = SourceDurationUs(ctx.get(), input, reporter, estimated);
    if (estimated)
        reporter.Send(TQ9_EVENT_DURATION_ESTIMATED, 0, 1);
    reporter.Total(durationUs / 1000);
    int id = 0;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        AVStream* st = ctx->streams[i];
        if (!IsMediaStream(st))
            continue;
        reporter.CheckStop();
        reporter.Send(TQ9_EVENT_STREAM_INFO, id, ContractCodecId(st->codecpar));
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
            ReportVideo(ctx.get(), st, id, reporter);
        else
            ReportAudio(st, id, reporter);
        ++id;
    }
    reporter.CheckStop();
}

} // namespace tq9media
