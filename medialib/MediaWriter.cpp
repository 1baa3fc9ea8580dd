#include "medialib/MediaWriter.h"

#include <sys/stat.h>
#include <unistd.h>

#include "medialib/AsfFrameRate.h"

namespace tq9media {

namespace {

// A gap in the sound longer than this is filled with silence so that the sound stays with the pictures;
// shorter ones are rounding in the source's times.
constexpr int64_t kAudioGapUs = 40000;

bool ValidSettings(const Tq9WriterSettings& s)
{
    // wmv2 codes whole macroblock pairs of chroma: even sizes only.
    return s.width > 0 && s.height > 0 && s.width % 2 == 0 && s.height % 2 == 0 && s.width <= 8192 &&
        s.height <= 8192 && s.videoBitRate > 0 && s.sampleRate > 0 && s.sampleRate <= 48000 && s.channels >= 1 &&
        s.channels <= 2 && s.audioBitRate > 0 && s.inputSampleRate >= 0 && s.inputSampleRate <= 384000 &&
        s.inputChannels >= 0 && s.inputChannels <= 8 && s.sampleAspectNum >= 0 && s.sampleAspectDen >= 0;
}

} // namespace

MediaWriter::MediaWriter(const std::string& path, const Tq9WriterSettings& settings) : m_path(path)
{
    if (path.empty() || !ValidSettings(settings))
        throw MediaError(AVERROR(EINVAL), "writer settings out of range");
    OutputSpec spec;
    spec.path = path;
    spec.format = "asf";
    spec.audioCodec = "wmav2";
    spec.sampleRate = settings.sampleRate;
    spec.channels = settings.channels;
    spec.audioBitRate = settings.audioBitRate;
    m_out = std::make_unique<OutputFile>(spec);
    m_video = std::make_unique<GroupEncoder>([&] { return OpenVideoEncoder(settings); },
        GroupEncoder::InstancesForThisProcess(), [this](AVPacket* packet) {
            if (packet->duration <= 0)
                packet->duration = 1;
            m_out->Write(packet, m_videoStream, m_videoTimeBase);
        });
    m_videoTimeBase = m_video->Encoder()->time_base;
    m_videoStream = m_out->AddStream(m_video->Encoder());
    m_picture->format = AV_PIX_FMT_YUV420P;
    m_picture->width = settings.width;
    m_picture->height = settings.height;
    if (settings.frameRateNum > 0 && settings.frameRateDen > 0) {
        // Only a known rate is declared; the muxer writes the object that carries it for a stream with a language.
        m_declaredRate = m_video->Encoder()->framerate;
        av_dict_set(&m_out->Context()->streams[m_videoStream]->metadata, "language", kAsfStandInLanguage, 0);
    }
    m_audio = std::make_unique<AudioChain>(spec, nullptr, *m_out, m_audioReporter);
    // The chain resamples what arrives to the file's rate and channels.
    m_sampleRate = settings.inputSampleRate ? settings.inputSampleRate : settings.sampleRate;
    av_channel_layout_default(&m_audioLayout, settings.inputChannels ? settings.inputChannels : settings.channels);
    // The sound encoder's priming frame starts before zero, and ASF keeps send times unsigned: a player that
    // reads them so (VLC) takes every picture for early and skips it. Both streams move by the same amount,
    // so the file starts at 0 and sound and pictures keep their distance.
    m_out->Context()->avoid_negative_ts = AVFMT_AVOID_NEG_TS_MAKE_ZERO;
    m_created = true;
    m_out->Open(nullptr);
}

MediaWriter::~MediaWriter()
{
    // The encoders' threads stop, the muxer closes its file, then a writer that did not finish removes it.
    m_video.reset();
    m_audio.reset();
    m_out.reset();
    struct stat st {};
    if (m_created && !m_committed && ::lstat(m_path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        ::unlink(m_path.c_str());
    av_channel_layout_uninit(&m_audioLayout);
}

CodecContextPtr MediaWriter::OpenVideoEncoder(const Tq9WriterSettings& s)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMV2);
    if (!codec)
        throw MediaError(AVERROR_ENCODER_NOT_FOUND, "no wmv2 encoder");
    CodecContextPtr enc(avcodec_alloc_context3(codec));
    if (!enc)
        throw std::bad_alloc();
    enc->width = s.width;
    enc->height = s.height;
    enc->pix_fmt = AV_PIX_FMT_YUV420P;
    // One tick per picture: the rate control spreads the bit rate over ticks.
    AVRational rate{s.frameRateNum, s.frameRateDen};
    if (rate.num <= 0 || rate.den <= 0)
        rate = {30000, 1001};
    av_reduce(&rate.num, &rate.den, rate.num, rate.den, 65535);
    enc->framerate = rate;
    enc->time_base = av_inv_q(rate);
    enc->bit_rate = s.videoBitRate;
    // The muxer writes the pixel shape as AspectRatioX/Y in the ASF metadata object, where players read it.
    if (s.sampleAspectNum > 0 && s.sampleAspectDen > 0)
        av_reduce(&enc->sample_aspect_ratio.num, &enc->sample_aspect_ratio.den, s.sampleAspectNum,
            s.sampleAspectDen, 65535);
    if (m_out->WantsGlobalHeader())
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    Check(avcodec_open2(enc.get(), codec, nullptr), "open video encoder");
    return enc;
}

template <typename F>
int MediaWriter::Run(F&& f)
{
    if (const int error = m_error.load())
        return error;
    const int rc = StatusOf([&] {
        f();
        return 0;
    });
    if (rc < 0)
        m_error = rc;
    return rc;
}

int MediaWriter::Video(const uint8_t* const planes[3], const int lineSizes[3], int64_t ptsUs)
{
    return Run([&] {
        for (int i = 0; i < 3; ++i)
            if (!planes[i] || lineSizes[i] < (i ? (m_picture->width + 1) / 2 : m_picture->width))
                throw MediaError(AVERROR(EINVAL), "picture planes");
        // Ticks of the nominal rate; a picture that lands on the tick of the one before is dropped, so
        // times only go forward and the length stays the source's.
        int64_t tick = m_lastTick + 1;
        if (ptsUs != TQ9_MEDIA_TIME_NONE) {
            tick = std::max<int64_t>(av_rescale_q(ptsUs, AV_TIME_BASE_Q, m_videoTimeBase), 0);
            if (tick <= m_lastTick)
                return;
        }
        m_lastTick = tick;
        for (int i = 0; i < 3; ++i) {
            m_picture->data[i] = const_cast<uint8_t*>(planes[i]);
            m_picture->linesize[i] = lineSizes[i];
        }
        m_picture->pts = tick;
        m_video->Push(m_picture.get());
    });
}

int MediaWriter::Audio(const int16_t* samples, int frames, int64_t ptsUs)
{
    return Run([&] {
        if (frames < 0 || (frames > 0 && !samples))
            throw MediaError(AVERROR(EINVAL), "sound samples");
        if (frames > 0)
            PushAudio(samples, frames, ptsUs);
    });
}

void MediaWriter::PushAudio(const int16_t* samples, int frames, int64_t ptsUs)
{
    if (m_audioStarted && ptsUs != TQ9_MEDIA_TIME_NONE && ptsUs > m_audio->EndUs() + kAudioGapUs)
        m_audio->SilenceUntil(ptsUs);
    m_audioStarted = true;
    FramePtr frame = MakeFrame();
    frame->format = AV_SAMPLE_FMT_S16;
    frame->sample_rate = m_sampleRate;
    frame->ch_layout = m_audioLayout; // a native layout owns nothing, so the frame may share it
    frame->nb_samples = frames;
    frame->data[0] = reinterpret_cast<uint8_t*>(const_cast<int16_t*>(samples));
    frame->linesize[0] = frames * m_audioLayout.nb_channels * 2;
    frame->extended_data = frame->data;
    m_audio->Push(frame.get(), ptsUs == TQ9_MEDIA_TIME_NONE ? 0 : ptsUs);
    frame->ch_layout = AVChannelLayout{};
}

int MediaWriter::Close()
{
    const int rc = Run([&] {
        m_audio->Finish(-1);
        m_video->Finish();
        m_out->Finish();
        if (m_declaredRate.num > 0 && !FillAsfFrameRate(m_path, m_videoStream + 1, m_declaredRate))
            DebugLog("the WMV's header is not laid out as expected: no frame rate declared\n");
        m_committed = true;
    });
    return rc;
}

} // namespace tq9media
