// Internal to the media library: one conversion run (input, decoders, the video and audio chains, output).
// Lives on the caller's thread for the duration of Transcode; owns everything it opens, so a failure or a
// stop at any point closes all of it (and the output file's guard removes what was half written).
#pragma once

#include "medialib/AudioChain.h"
#include "medialib/InputGuard.h"
#include "medialib/Options.h"
#include "medialib/Reporter.h"
#include "medialib/VideoChain.h"

namespace tq9media {

class PictureMemo;

class Transcoder {
public:
    // memo (may be null, not owned): the caller's pictures from the conversion before, see PictureMemo.
    Transcoder(const Plan& plan, Reporter& reporter, PictureMemo* memo);
    ~Transcoder();
    Transcoder(const Transcoder&) = delete;
    Transcoder& operator=(const Transcoder&) = delete;

    // Runs to the end; throws MediaError on failure or stop.
    void Run();

private:
    void Open();
    void SeekToStart();
    // A thumbnail of a file the memo's conversion decoded starts from the picture it kept; a conversion
    // from the start keeps those pictures in the memo. True when the kept picture was used.
    bool UseKeptPicture();
    // After a seek: drops packets up to the first video keyframe and keeps it; returns its time
    // (microseconds, input time) or AV_NOPTS_VALUE when the input ends first.
    int64_t ReadToKeyframe();
    // The kept keyframe first, then the input's packets.
    int ReadPacket(AVPacket* packet);
    // A timestamp more than a little past the input's duration: a jump, not a time to wait for.
    bool IsPastTheEnd(int64_t ts, AVRational timeBase) const;
    // End of what the output holds so far, microseconds from its start.
    int64_t WrittenUs() const;
    void StopSkippingNear(const AVPacket* packet);
    void Decode(AVCodecContext* decoder, const AVPacket* packet);
    void OnVideoFrame(AVFrame* frame);
    void OnAudioFrame(AVFrame* frame);
    bool VideoDone() const { return m_video && m_video->Done(); }
    void ReportPosition();

    Plan m_plan;
    Reporter& m_reporter;
    InputGuard m_guard{&m_reporter}; // outlives m_input
    InputContextPtr m_input;
    int m_videoIndex = -1;
    int m_audioIndex = -1;
    CodecContextPtr m_videoDecoder;
    CodecContextPtr m_audioDecoder;
    int64_t m_originUs = 0; // input time that becomes the output's zero: start time + "-ss"
    int64_t m_sourceDurationUs = 0;
    PacketPtr m_keyframe; // read while looking for the keyframe before "-ss"; the main loop's first packet
    std::unique_ptr<OutputFile> m_output;
    std::unique_ptr<VideoChain> m_video;
    std::unique_ptr<AudioChain> m_audio;
    bool m_silence = false;
    FramePtr m_frame = MakeFrame();
    FramePtr m_held; // the last picture before "-ss", used when none comes after it
    int64_t m_nextVideoPts = AV_NOPTS_VALUE; // for pictures without a time
    int64_t m_decodeErrors = 0;
    PictureMemo* m_memo = nullptr;
    bool m_keepPictures = false; // this run hands its pictures to m_memo
    bool m_skippingToStart = false; // non-reference pictures well before "-ss" are not decoded
    int64_t m_videoFrames = 0; // decoded
    int64_t m_audioFrames = 0; // decoded
    int64_t m_videoPushed = 0; // handed to the video chain
    int64_t m_audioPushed = 0; // handed to the audio chain
};

} // namespace tq9media
