// Internal to the media library: the audio half of a conversion. Decoded samples are resampled (rate,
// channel layout, sample format of the encoder), queued in a FIFO and handed to the encoder in frames of
// its size (libmp3lame: 1152 samples); the resampler and the FIFO are drained at the end. Without a source
// stream the chain makes silence, kept as long as the video by SilenceUntil.
#pragma once

#include "medialib/EncoderThread.h"
#include "medialib/OutputFile.h"
#include "medialib/Reporter.h"
#include "medialib/Resampler.h"

namespace tq9media {

class AudioChain {
public:
    // decoder: the source's opened audio decoder, or null for silence. Opens the encoder and adds the stream.
    // ownThread: the encoder runs on a thread of its own (an output with nothing else to keep the second
    // core busy); otherwise on the caller's.
    AudioChain(const OutputSpec& spec, const AVCodecContext* decoder, OutputFile& out, Reporter& reporter,
        bool ownThread = false);
    ~AudioChain();
    AudioChain(const AudioChain&) = delete;
    AudioChain& operator=(const AudioChain&) = delete;

    // Takes decoded samples starting startUs after the output's start (negative: the leading part is cut).
    void Push(const AVFrame* frame, int64_t startUs);
    // Silence up to this time (microseconds from the output's start).
    void SilenceUntil(int64_t us);
    // Drains the resampler, pads silence up to silenceEndUs (when >= 0), sends the last short frame, flushes.
    void Finish(int64_t silenceEndUs);
    // End of the samples queued so far, microseconds from the output's start.
    int64_t EndUs() const;

private:
    void Convert(const uint8_t* const* data, int samples);
    void EncodeQueued(bool all);
    void Send(AVFrame* frame);

    OutputSpec m_spec;
    OutputFile& m_out;
    Reporter& m_reporter;
    CodecContextPtr m_encoder;
    int m_stream = -1;
    int m_frameSize = 1024;
    bool m_smallLastFrame = false;
    AudioFifoPtr m_fifo;
    std::unique_ptr<Resampler> m_resampler;
    FramePtr m_chunk = MakeFrame(); // one encoder frame
    FramePtr m_silence = MakeFrame(); // one encoder frame of silence
    PacketPtr m_packet = MakePacket();
    std::unique_ptr<EncoderThread> m_thread;
    bool m_started = false;
    int64_t m_skip = 0; // samples still to cut from the start
    int64_t m_nextPts = 0; // time of the next sample to encode, in samples
    bool m_finished = false;
};

} // namespace tq9media
