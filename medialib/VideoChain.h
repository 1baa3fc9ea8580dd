// Internal to the media library: the video half of a conversion. Decoded pictures go through a filter graph
// (turned upright, fps for a constant rate, scale to "-s", the colours to what the device decodes, then "-vf",
// then the encoder's pixel format) into the encoder and on to the output file. Owns the graph, the encoder
// and the two-pass statistics file. The encoder and the writing of its packets run on a thread of their own,
// and in a whole conversion the filters on another, so that decoding, filtering and encoding overlap.
#pragma once

#include "medialib/ColourConversion.h"
#include "medialib/EncoderThread.h"
#include "medialib/FrameThread.h"
#include "medialib/OutputFile.h"
#include "medialib/Reporter.h"

#include <atomic>
#include <cstdio>

namespace tq9media {

class VideoChain {
public:
    // in: the input stream; decoder: its opened decoder. Opens the encoder and adds the output stream.
    VideoChain(const OutputSpec& spec, const AVStream* in, const AVCodecContext* decoder, OutputFile& out,
        Reporter& reporter);
    ~VideoChain();
    VideoChain(const VideoChain&) = delete;
    VideoChain& operator=(const VideoChain&) = delete;

    // Takes one decoded picture whose pts is relative to the output's start, in the input stream's time base
    // (a reference to its data when the filters have a thread). Rethrows what the filters' thread failed with.
    void Push(AVFrame* frame);
    // Flushes the graph and the encoder; closes the statistics file.
    void Finish();
    // "-vframes" reached: no further picture is taken.
    bool Done() const { return m_spec.maxVideoFrames >= 0 && m_framesSent >= m_spec.maxVideoFrames; }
    int64_t FramesSent() const { return m_framesSent; }
    // End of the last picture handed to the encoder, microseconds from the output's start (any thread).
    int64_t EndUs() const { return m_endUs.load(std::memory_order_relaxed); }

private:
    void BuildGraph(int width, int height, AVPixelFormat format, AVRational sar);
    void OpenEncoder();
    void Filter(AVFrame* frame);
    void CloseGraph();
    void Drain();
    void Encode(AVFrame* frame);
    // The encoder runs on its own thread, a few pictures behind the decoder and the filters.
    void StartEncoder();
    void WritePacket(AVPacket* packet); // on the encoder's thread

    OutputSpec m_spec;
    OutputFile& m_out;
    Reporter& m_reporter;
    AVRational m_inTimeBase;
    AVRational m_inRate;
    int m_rotation = 0; // degrees clockwise the source is shown turned
    const AVCodec* m_codec = nullptr;
    AVPixelFormat m_encoderFormat = AV_PIX_FMT_NONE;

    FilterGraphPtr m_graph;
    AVFilterContext* m_src = nullptr; // owned by m_graph
    AVFilterContext* m_sink = nullptr; // owned by m_graph
    int m_graphWidth = 0, m_graphHeight = 0;
    AVPixelFormat m_graphFormat = AV_PIX_FMT_NONE;
    ColourConversion m_colour; // what the graph converts the source's colours with
    int64_t m_inEnd = AV_NOPTS_VALUE; // end of the last picture given to the graph, input time base

    std::string m_statsIn; // pass 2: the pass log, read by the encoder through stats_in
    CodecContextPtr m_encoder;
    int m_stream = -1;
    bool m_interlaced = false;
    FramePtr m_filtered = MakeFrame();

    struct FileClose {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<FileGuard> m_statsGuard;
    std::unique_ptr<std::FILE, FileClose> m_statsOut; // pass 1

    AVRational m_encoderTimeBase{0, 1};
    AVRational m_encoderSar{0, 1};

    // The encoder, the statistics file and the output's video stream belong to this thread while it runs.
    // Three pictures ahead absorb the threaded decoder's bursts; each more only holds another picture of
    // the output's size (measured: eight were no faster and held 2.5 MB more at the peak).
    static constexpr size_t kQueueDepth = 3;
    std::unique_ptr<EncoderThread> m_encodeThread;

    // A whole conversion filters on a thread of its own: decoding then never waits for the scaler, nor the
    // scaler for the decoder, and both CPUs stay busy. Owns the graph and the fields below while it runs.
    // Each queued picture holds a source-sized buffer (12 MB at 4K); 1 to 8 of them were equally fast.
    static constexpr size_t kFilterDepth = 1;
    std::unique_ptr<FrameThread> m_filterThread;

    int64_t m_framesSent = 0;
    std::atomic<int64_t> m_endUs{0};
    bool m_finished = false;
};

} // namespace tq9media
