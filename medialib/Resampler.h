// Internal to the media library: swresample towards one fixed output (channel layout, sample format, rate)
// from whatever the decoder delivers. A decoder may change its format, rate or layout mid-stream, so the
// context is reopened for a frame that differs from the last. The converted samples live in a buffer the
// resampler owns, valid until the next Convert.
#pragma once

#include "medialib/Ffmpeg.h"

namespace tq9media {

class Resampler {
public:
    Resampler(const AVChannelLayout& layout, AVSampleFormat format, int rate);
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    bool IsOpen() const { return m_swr != nullptr; }
    // No context yet, or one for samples of another format, rate or layout than this frame's.
    bool Differs(const AVFrame* frame) const;
    // A context for samples like this frame's. What the old one still held is dropped: drain it first.
    void Open(const AVFrame* frame);
    // Converts samples (data null: takes what the context still holds, up to one buffer at a time);
    // returns how many are now in Output().
    int Convert(const uint8_t* const* data, int samples);
    uint8_t* const* Output() const { return m_out->extended_data; }

    const AVChannelLayout& Layout() const { return m_outLayout; }
    AVSampleFormat Format() const { return m_outFormat; }
    int Rate() const { return m_outRate; }

private:
    AVChannelLayout m_outLayout{};
    AVSampleFormat m_outFormat;
    int m_outRate;
    SwrPtr m_swr;
    int m_inFormat = -1, m_inRate = 0;
    AVChannelLayout m_inLayout{};
    FramePtr m_out = MakeFrame();
};

} // namespace tq9media
