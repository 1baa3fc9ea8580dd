#include "medialib/AudioChain.h"

#include <algorithm>
#include <cstdlib>

namespace tq9media {

namespace {

int ChooseSampleRate(const AVCodec* codec, int wanted)
{
    if (!codec->supported_samplerates)
        return wanted;
    int best = codec->supported_samplerates[0];
    for (const int* r = codec->supported_samplerates; *r; ++r) {
        if (*r == wanted)
            return wanted;
        if (std::abs(*r - wanted) < std::abs(best - wanted))
            best = *r;
    }
    return best;
}

void ChooseLayout(const AVCodec* codec, int channels, AVChannelLayout* out)
{
    if (codec->ch_layouts) {
        const AVChannelLayout* best = nullptr;
        for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels; ++l) {
            if (l->nb_channels == channels) {
                best = l;
                break;
            }
            if (l->nb_channels < channels && (!best || l->nb_channels > best->nb_channels))
                best = l;
        }
        Check(av_channel_layout_copy(out, best ? best : &codec->ch_layouts[0]), "channel layout");
        return;
    }
    av_channel_layout_default(out, channels);
}

AVSampleFormat ChooseSampleFormat(const AVCodec* codec, AVSampleFormat source)
{
    if (!codec->sample_fmts)
        return source == AV_SAMPLE_FMT_NONE ? AV_SAMPLE_FMT_S16 : source;
    auto supported = [codec](AVSampleFormat f) {
        for (const AVSampleFormat* p = codec->sample_fmts; *p != AV_SAMPLE_FMT_NONE; ++p)
            if (*p == f)
                return true;
        return false;
    };
    // The source's own precision when the encoder takes it (planar or packed), else float, else 16-bit.
    for (AVSampleFormat f : {source, av_get_planar_sample_fmt(source), av_get_packed_sample_fmt(source),
             AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_S16P, AV_SAMPLE_FMT_S16})
        if (f != AV_SAMPLE_FMT_NONE && supported(f))
            return f;
    return codec->sample_fmts[0];
}

} // namespace

AudioChain::AudioChain(const OutputSpec& spec, const AVCodecContext* decoder, OutputFile& out, Reporter& reporter,
    bool ownThread)
    : m_spec(spec), m_out(out), m_reporter(reporter)
{
    const AVCodec* codec = nullptr;
    if (!spec.audioCodec.empty())
        codec = avcodec_find_encoder_by_name(spec.audioCodec.c_str());
    else
        codec = avcodec_find_encoder(
            av_guess_codec(out.Context()->oformat, nullptr, spec.path.c_str(), nullptr, AVMEDIA_TYPE_AUDIO));
    if (!codec || codec->type != AVMEDIA_TYPE_AUDIO)
        throw MediaError(AVERROR_ENCODER_NOT_FOUND, "no audio encoder " + spec.audioCodec);

    CodecContextPtr enc(avcodec_alloc_context3(codec));
    if (!enc)
        throw std::bad_alloc();
    int rate = spec.sampleRate ? spec.sampleRate : (decoder && decoder->sample_rate > 0 ? decoder->sample_rate : 48000);
    enc->sample_rate = ChooseSampleRate(codec, rate);
    int channels = spec.channels ? spec.channels : (decoder && decoder->ch_layout.nb_channels > 0 ? decoder->ch_layout.nb_channels : 2);
    ChooseLayout(codec, channels, &enc->ch_layout);
    enc->sample_fmt = ChooseSampleFormat(codec, decoder ? decoder->sample_fmt : AV_SAMPLE_FMT_NONE);
    if (spec.audioBitRate > 0)
        enc->bit_rate = spec.audioBitRate;
    enc->time_base = {1, enc->sample_rate};
    if (out.WantsGlobalHeader())
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    Check(avcodec_open2(enc.get(), codec, nullptr), "open audio encoder");
    m_encoder = std::move(enc);

    const bool variable = codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE;
    m_frameSize = variable || m_encoder->frame_size <= 0 ? 1024 : m_encoder->frame_size;
    m_smallLastFrame = variable || (codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME);
    m_fifo.reset(av_audio_fifo_alloc(m_encoder->sample_fmt, m_encoder->ch_layout.nb_channels, m_frameSize * 4));
    if (!m_fifo)
        throw std::bad_alloc();
    m_silence->format = m_encoder->sample_fmt;
    m_silence->nb_samples = m_frameSize;
    Check(av_channel_layout_copy(&m_silence->ch_layout, &m_encoder->ch_layout), "channel layout");
    Check(av_frame_get_buffer(m_silence.get(), 0), "silence buffer");
    av_samples_set_silence(m_silence->extended_data, 0, m_frameSize, m_encoder->ch_layout.nb_channels,
        m_encoder->sample_fmt);
    m_resampler = std::make_unique<Resampler>(m_encoder->ch_layout, m_encoder->sample_fmt, m_encoder->sample_rate);
    m_stream = m_out.AddStream(m_encoder.get());
    if (ownThread) {
        constexpr size_t kFramesAhead = 16;
        m_thread = std::make_unique<EncoderThread>(m_encoder.get(), kFramesAhead, "encode audio",
            [this](AVPacket* packet) { m_out.Write(packet, m_stream, m_encoder->time_base); });
    }
}

AudioChain::~AudioChain()
{
    m_thread.reset(); // before the encoder it uses
}

int64_t AudioChain::EndUs() const
{
    return av_rescale_q(m_nextPts + av_audio_fifo_size(m_fifo.get()), m_encoder->time_base, AV_TIME_BASE_Q);
}

void AudioChain::Push(const AVFrame* frame, int64_t startUs)
{
    if (m_finished || frame->nb_samples <= 0)
        return;
    if (frame->sample_rate <= 0 || frame->format < 0)
        throw MediaError(AVERROR_INVALIDDATA, "audio frame without a format");
    if (m_resampler->Differs(frame)) {
        Convert(nullptr, 0); // what the old context still holds
        m_resampler->Open(frame);
    }
    if (!m_started) {
        m_started = true;
        const int64_t offset = av_rescale_q(startUs, AV_TIME_BASE_Q, m_encoder->time_base);
        if (offset > 0)
            m_nextPts = offset;
        else
            m_skip = -offset;
    }
    Convert(frame->extended_data, frame->nb_samples);
    EncodeQueued(false);
}

void AudioChain::Convert(const uint8_t* const* data, int samples)
{
    for (;;) {
        const int got = m_resampler->Convert(data, samples);
        if (got > 0 && av_audio_fifo_write(m_fifo.get(), reinterpret_cast<void**>(const_cast<uint8_t**>(m_resampler->Output())), got) < got)
            throw std::bad_alloc();
        if (m_skip > 0) {
            // Only at the very start: the FIFO holds nothing but this cut.
            const int cut = static_cast<int>(std::min<int64_t>(m_skip, av_audio_fifo_size(m_fifo.get())));
            av_audio_fifo_drain(m_fifo.get(), cut);
            m_skip -= cut;
        }
        if (data || got == 0)
            return; // one call takes all input; only draining loops
    }
}

void AudioChain::SilenceUntil(int64_t us)
{
    if (m_finished)
        return;
    m_started = true;
    const int64_t target = av_rescale_q(us, AV_TIME_BASE_Q, m_encoder->time_base);
    int64_t have = m_nextPts + av_audio_fifo_size(m_fifo.get());
    while (have < target) {
        const int n = static_cast<int>(std::min<int64_t>(target - have, m_frameSize));
        if (av_audio_fifo_write(m_fifo.get(), reinterpret_cast<void**>(m_silence->extended_data), n) < n)
            throw std::bad_alloc();
        have += n;
        EncodeQueued(false);
    }
}

void AudioChain::EncodeQueued(bool all)
{
    for (;;) {
        int n = av_audio_fifo_size(m_fifo.get());
        if (n == 0 || (n < m_frameSize && !all))
            return;
        n = std::min(n, m_frameSize);
        if (n < m_frameSize && !m_smallLastFrame) {
            av_audio_fifo_write(m_fifo.get(), reinterpret_cast<void**>(m_silence->extended_data), m_frameSize - n);
            n = m_frameSize;
        }
        av_frame_unref(m_chunk.get());
        m_chunk->format = m_encoder->sample_fmt;
        m_chunk->sample_rate = m_encoder->sample_rate;
        m_chunk->nb_samples = n;
        Check(av_channel_layout_copy(&m_chunk->ch_layout, &m_encoder->ch_layout), "channel layout");
        Check(av_frame_get_buffer(m_chunk.get(), 0), "audio frame");
        if (av_audio_fifo_read(m_fifo.get(), reinterpret_cast<void**>(m_chunk->extended_data), n) < n)
            throw MediaError(AVERROR_BUG, "audio FIFO");
        m_chunk->pts = m_nextPts;
        m_nextPts += n;
        Send(m_chunk.get());
    }
}

void AudioChain::Send(AVFrame* frame)
{
    if (frame)
        m_reporter.CheckStop();
    if (m_thread) {
        if (!frame)
            return m_thread->Finish();
        FramePtr queued = MakeFrame();
        av_frame_move_ref(queued.get(), frame);
        return m_thread->Push(std::move(queued));
    }
    Check(avcodec_send_frame(m_encoder.get(), frame), "encode audio");
    for (;;) {
        int rc = avcodec_receive_packet(m_encoder.get(), m_packet.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return;
        Check(rc, "encode audio");
        m_out.Write(m_packet.get(), m_stream, m_encoder->time_base);
        if (!frame)
            m_reporter.Tick();
    }
}

void AudioChain::Finish(int64_t silenceEndUs)
{
    if (m_finished)
        return;
    Convert(nullptr, 0);
    if (silenceEndUs >= 0)
        SilenceUntil(silenceEndUs);
    m_finished = true;
    EncodeQueued(true);
    Send(nullptr);
}

} // namespace tq9media
