#include "medialib/Resampler.h"

#include <algorithm>

namespace tq9media {

Resampler::Resampler(const AVChannelLayout& layout, AVSampleFormat format, int rate)
    : m_outFormat(format), m_outRate(rate)
{
    Check(av_channel_layout_copy(&m_outLayout, &layout), "channel layout");
}

Resampler::~Resampler()
{
    av_channel_layout_uninit(&m_outLayout);
    av_channel_layout_uninit(&m_inLayout);
}

bool Resampler::Differs(const AVFrame* frame) const
{
    return !m_swr || frame->format != m_inFormat || frame->sample_rate != m_inRate ||
        av_channel_layout_compare(&frame->ch_layout, &m_inLayout) != 0;
}

void Resampler::Open(const AVFrame* frame)
{
    // Some decoders leave the layout unspecified: take the usual one for the channel count.
    AVChannelLayout in{};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame->ch_layout.nb_channels <= 0)
        av_channel_layout_default(&in, std::max(frame->ch_layout.nb_channels, 1));
    else
        Check(av_channel_layout_copy(&in, &frame->ch_layout), "channel layout");
    SwrContext* raw = nullptr;
    int rc = swr_alloc_set_opts2(&raw, &m_outLayout, m_outFormat, m_outRate, &in,
        static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&in);
    SwrPtr swr(raw);
    Check(rc, "resampler");
    Check(swr_init(swr.get()), "resampler");
    m_swr = std::move(swr);
    m_inFormat = frame->format;
    m_inRate = frame->sample_rate;
    av_channel_layout_uninit(&m_inLayout);
    Check(av_channel_layout_copy(&m_inLayout, &frame->ch_layout), "channel layout");
}

int Resampler::Convert(const uint8_t* const* data, int samples)
{
    if (!m_swr)
        return 0;
    const int room = Check(swr_get_out_samples(m_swr.get(), data ? samples : 0), "resample");
    if (room == 0)
        return 0;
    if (m_out->nb_samples < room) {
        av_frame_unref(m_out.get());
        m_out->format = m_outFormat;
        m_out->nb_samples = room;
        Check(av_channel_layout_copy(&m_out->ch_layout, &m_outLayout), "channel layout");
        Check(av_frame_get_buffer(m_out.get(), 0), "resample buffer");
    }
    return Check(swr_convert(m_swr.get(), m_out->extended_data, room, const_cast<const uint8_t**>(data),
                     data ? samples : 0),
        "resample");
}

} // namespace tq9media
