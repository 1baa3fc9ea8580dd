#include "medialib/MediaFile.h"

#include "medialib/GroupEncoder.h"
#include "medialib/Streams.h"

namespace tq9media {

MediaFile::MediaFile(const std::string& path) : m_input(OpenInput(path, "", &m_guard))
{
    m_decoders.resize(m_input->nb_streams);
}

MediaFile::~MediaFile() = default;

int64_t MediaFile::ToUs(int stream, int64_t ts) const
{
    if (ts == AV_NOPTS_VALUE)
        return TQ9_MEDIA_TIME_NONE;
    return av_rescale_q(ts, m_input->streams[stream]->time_base, AV_TIME_BASE_Q);
}

void MediaFile::GetInfo(int stream, Tq9MediaStreamInfo* info) const
{
    const AVStream* st = m_input->streams[stream];
    const AVCodecParameters* par = st->codecpar;
    *info = Tq9MediaStreamInfo{};
    info->type = !IsMediaStream(st) ? TQ9_MEDIA_OTHER
                                    : (par->codec_type == AVMEDIA_TYPE_VIDEO ? TQ9_MEDIA_VIDEO : TQ9_MEDIA_AUDIO);
    info->codecId = ContractCodecId(par);
    info->timeBaseNum = st->time_base.num;
    info->timeBaseDen = st->time_base.den;
    if (info->type == TQ9_MEDIA_VIDEO) {
        info->width = par->width;
        info->height = par->height;
        const AVRational sar = av_guess_sample_aspect_ratio(m_input.get(), const_cast<AVStream*>(st), nullptr);
        if (sar.num > 0 && sar.den > 0) {
            info->sampleAspectNum = sar.num;
            info->sampleAspectDen = sar.den;
        }
        const AVRational rate = av_guess_frame_rate(m_input.get(), const_cast<AVStream*>(st), nullptr);
        if (rate.num > 0 && rate.den > 0) {
            info->frameRateNum = rate.num;
            info->frameRateDen = rate.den;
        }
    } else if (info->type == TQ9_MEDIA_AUDIO) {
        info->sampleRate = par->sample_rate;
        info->channels = par->ch_layout.nb_channels;
    }
    info->bitRate = par->bit_rate;
    info->durationUs = st->duration > 0 ? ToUs(stream, st->duration) : TQ9_MEDIA_TIME_NONE;
}

int64_t MediaFile::DurationUs() const
{
    const int64_t d = tq9media::DurationUs(m_input.get());
    return d > 0 ? d : TQ9_MEDIA_TIME_NONE;
}

int MediaFile::FindStream(int type) const
{
    const StreamChoice c = ChooseStreams(m_input.get());
    return type == TQ9_MEDIA_VIDEO ? c.video : (type == TQ9_MEDIA_AUDIO ? c.audio : -1);
}

void MediaFile::OpenDecoder(int stream)
{
    const AVStream* st = m_input->streams[stream];
    if (!IsMediaStream(st))
        throw MediaError(AVERROR(EINVAL), "not an audio or video stream");
    if (m_decoders[stream])
        return;
    auto d = std::make_unique<Decoder>();
    // These decoders feed the writer, whose video encoders take every CPU: a picture is ~3x dearer to code
    // than to decode, so up to 3 CPUs one decoding thread keeps up, and frame threads would only add their
    // hand-overs (+25 % decoding CPU on 2 cores) to a machine already full.
    const bool video = st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    d->codec = tq9media::OpenDecoder(st, video && GroupEncoder::InstancesForThisProcess() <= 3 ? 1 : 0);
    m_decoders[stream] = std::move(d);
}

MediaFile::Decoder& MediaFile::Get(int stream, AVMediaType type)
{
    if (stream < 0 || stream >= StreamCount() || !m_decoders[stream])
        throw MediaError(AVERROR(EINVAL), "no decoder open for this stream");
    if (m_input->streams[stream]->codecpar->codec_type != type)
        throw MediaError(AVERROR(EINVAL), "wrong kind of stream");
    return *m_decoders[stream];
}

int MediaFile::Read(AVPacket* packet)
{
    return m_guard.Read(packet);
}

int MediaFile::Send(int stream, const AVPacket* packet)
{
    if (stream < 0 || stream >= StreamCount() || !m_decoders[stream])
        return AVERROR(EINVAL);
    return avcodec_send_packet(m_decoders[stream]->codec.get(), packet);
}

int MediaFile::ReceivePicture(int stream, Tq9MediaPicture* picture)
{
    Decoder& d = Get(stream, AVMEDIA_TYPE_VIDEO);
    av_frame_unref(d.frame.get());
    int rc = avcodec_receive_frame(d.codec.get(), d.frame.get());
    if (rc < 0)
        return rc;
    const AVCodecParameters* par = m_input->streams[stream]->codecpar;
    const AVFrame* f = d.frame.get();
    const int w = par->width > 0 ? par->width : f->width;
    const int h = par->height > 0 ? par->height : f->height;
    const AVFrame* out = f;
    if (f->format != AV_PIX_FMT_YUV420P || f->width != w || f->height != h) {
        if (!d.sws || d.swsWidth != f->width || d.swsHeight != f->height || d.swsFormat != f->format) {
            d.sws.reset(sws_getContext(f->width, f->height, static_cast<AVPixelFormat>(f->format), w, h,
                AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr));
            if (!d.sws)
                return AVERROR(EINVAL);
            d.swsWidth = f->width;
            d.swsHeight = f->height;
            d.swsFormat = f->format;
        }
        if (!d.picture || d.picture->width != w || d.picture->height != h) {
            d.picture = MakeFrame();
            d.picture->format = AV_PIX_FMT_YUV420P;
            d.picture->width = w;
            d.picture->height = h;
            Check(av_frame_get_buffer(d.picture.get(), 0), "picture buffer");
        }
        Check(sws_scale(d.sws.get(), f->data, f->linesize, 0, f->height, d.picture->data, d.picture->linesize),
            "convert picture");
        out = d.picture.get();
    }
    for (int i = 0; i < 3; ++i) {
        picture->planes[i] = out->data[i];
        picture->lineSizes[i] = out->linesize[i];
    }
    picture->width = w;
    picture->height = h;
    picture->ptsUs = ToUs(stream, f->best_effort_timestamp);
    picture->durationUs = f->pkt_duration > 0 ? ToUs(stream, f->pkt_duration) : 0;
    return 0;
}

int MediaFile::ReceiveSound(int stream, Tq9MediaSound* sound)
{
    Decoder& d = Get(stream, AVMEDIA_TYPE_AUDIO);
    av_frame_unref(d.frame.get());
    int rc = avcodec_receive_frame(d.codec.get(), d.frame.get());
    if (rc == AVERROR_EOF && d.resampler && !d.drained) {
        d.drained = true; // what the resampler still holds, once
        int n = ConvertSound(stream, d, nullptr, sound);
        return n > 0 ? 0 : AVERROR_EOF;
    }
    if (rc < 0)
        return rc;
    return ConvertSound(stream, d, d.frame.get(), sound) >= 0 ? 0 : AVERROR(EINVAL);
}

int MediaFile::ConvertSound(int stream, Decoder& d, const AVFrame* f, Tq9MediaSound* sound)
{
    if (!d.resampler) {
        const AVCodecParameters* par = m_input->streams[stream]->codecpar;
        AVChannelLayout layout{};
        av_channel_layout_default(&layout, par->ch_layout.nb_channels > 0 ? par->ch_layout.nb_channels : 2);
        d.resampler = std::make_unique<Resampler>(layout, AV_SAMPLE_FMT_S16,
            par->sample_rate > 0 ? par->sample_rate : f->sample_rate);
        av_channel_layout_uninit(&layout);
    }
    Resampler& r = *d.resampler;
    if (f && r.Differs(f))
        r.Open(f);
    const int got = f ? r.Convert(f->extended_data, f->nb_samples) : r.Convert(nullptr, 0);
    sound->samples = got > 0 ? reinterpret_cast<const int16_t*>(r.Output()[0]) : nullptr;
    sound->frames = got;
    sound->channels = r.Layout().nb_channels;
    sound->sampleRate = r.Rate();
    sound->ptsUs = f ? ToUs(stream, f->best_effort_timestamp) : TQ9_MEDIA_TIME_NONE;
    return got;
}

} // namespace tq9media
