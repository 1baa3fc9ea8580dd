#include "medialib/Transcoder.h"

#include "medialib/PictureMemo.h"
#include "medialib/Streams.h"

#include <sys/stat.h>

namespace tq9media {

Transcoder::Transcoder(const Plan& plan, Reporter& reporter, PictureMemo* memo)
    : m_plan(plan), m_reporter(reporter), m_memo(memo)
{
}

Transcoder::~Transcoder() = default;

void Transcoder::Open()
{
    const OutputSpec& spec = m_plan.output;
    m_input = OpenInput(m_plan.inputs[0].path, m_plan.inputs[0].format, &m_guard);
    const bool silentInput = m_plan.inputs.size() > 1 && m_plan.inputs[1].silent;
    const StreamChoice choice = ChooseStreams(m_input.get());

    struct stat in {}, out {};
    if (::stat(m_plan.inputs[0].path.c_str(), &in) == 0 && ::stat(spec.path.c_str(), &out) == 0 &&
        in.st_dev == out.st_dev && in.st_ino == out.st_ino)
        throw MediaError(AVERROR(EINVAL), "the output is the input");

    // The muxer first (nothing is created yet): it says which kinds of stream the format takes.
    m_output = std::make_unique<OutputFile>(spec);
    const AVOutputFormat* ofmt = m_output->Format();
    const bool takesVideo = ofmt->video_codec != AV_CODEC_ID_NONE || !spec.videoCodec.empty();
    const bool takesAudio = ofmt->audio_codec != AV_CODEC_ID_NONE || !spec.audioCodec.empty();
    const bool wantVideo = !spec.noVideo && takesVideo && choice.video >= 0;
    const bool wantAudio = !spec.noAudio && takesAudio && (choice.audio >= 0 || silentInput);
    if (!wantVideo && !wantAudio)
        throw MediaError(AVERROR_STREAM_NOT_FOUND, "no stream to convert");
    if (wantAudio && choice.audio < 0 && !wantVideo)
        throw MediaError(AVERROR(EINVAL), "silence needs a video to take its length from");

    if (wantVideo) {
        m_videoIndex = choice.video;
        AVStream* st = m_input->streams[m_videoIndex];
        m_videoDecoder = OpenDecoder(st);
        m_video = std::make_unique<VideoChain>(spec, st, m_videoDecoder.get(), *m_output, m_reporter);
    }
    // The first of two passes only measures the pictures, and the second writes the whole file again: its
    // sound is decoded (its frames and errors count as they do in the second pass) but neither encoded
    // nor written.
    const bool measuringPass = spec.pass == 1 && wantVideo;
    if (wantAudio) {
        if (choice.audio >= 0) {
            m_audioIndex = choice.audio;
            m_audioDecoder = OpenDecoder(m_input->streams[m_audioIndex]);
        } else {
            m_silence = true;
        }
    }
    if (wantAudio && !measuringPass) {
        // Sound alone keeps one core busy: its encoder gets the other.
        m_audio = std::make_unique<AudioChain>(spec, m_audioDecoder.get(), *m_output, m_reporter, !m_video);
    }
    // The demuxer need not hand over packets nobody reads.
    for (unsigned i = 0; i < m_input->nb_streams; ++i)
        if (static_cast<int>(i) != m_videoIndex && static_cast<int>(i) != m_audioIndex)
            m_input->streams[i]->discard = AVDISCARD_ALL;

    m_originUs = StartTimeUs(m_input.get()) + spec.startUs;
    m_output->Open(m_input->metadata);
    DebugLog("transcode: video stream %d, audio stream %d%s", m_videoIndex, m_audioIndex, m_silence ? " (silence)" : "");
}

void Transcoder::SeekToStart()
{
    if (m_plan.output.startUs <= 0)
        return;
    const int64_t fileStartUs = StartTimeUs(m_input.get());
    if (m_videoIndex < 0) {
        if (av_seek_frame(m_input.get(), -1, m_originUs, AVSEEK_FLAG_BACKWARD) < 0)
            av_seek_frame(m_input.get(), -1, fileStartUs, AVSEEK_FLAG_BACKWARD);
        return;
    }
    // The pictures from a keyframe at or before the start up to the start are decoded and dropped. Seeking
    // by time in MPEG-PS/TS lands near the time rather than on such a keyframe: from mid-GOP nothing decodes
    // (a long GOP) or the first keyframe comes after the start (the wrong picture). So check where the
    // first keyframe after the seek is, and seek further back until it is not after the start.
    int64_t backUs = 0;
    for (;;) {
        const int64_t targetUs = m_originUs - backUs;
        if (targetUs <= fileStartUs || av_seek_frame(m_input.get(), -1, targetUs, AVSEEK_FLAG_BACKWARD) < 0) {
            m_keyframe.reset();
            if (avformat_seek_file(m_input.get(), -1, INT64_MIN, fileStartUs, fileStartUs, 0) < 0)
                throw MediaError(AVERROR(ESPIPE), "cannot go back to the start of the input");
            DebugLog("seek: decoding from the beginning");
            break;
        }
        const int64_t keyUs = ReadToKeyframe();
        if (keyUs != AV_NOPTS_VALUE && keyUs <= m_originUs) {
            DebugLog("seek: keyframe %lld us before the start", static_cast<long long>(m_originUs - keyUs));
            break;
        }
        backUs = backUs == 0 ? 1000000 : backUs * 2;
    }
    // Sources with long keyframe intervals make the walk to the start most of a thumbnail's cost. Pictures
    // nothing refers to are never shown before the start, so they need no decoding until close to it.
    m_videoDecoder->skip_frame = AVDISCARD_NONREF;
    m_skippingToStart = true;
}

int64_t Transcoder::ReadToKeyframe()
{
    // Packets before the first video keyframe cannot be decoded; the keyframe is kept for the main loop.
    m_keyframe.reset();
    for (;;) {
        m_reporter.CheckStop();
        PacketPtr packet = MakePacket();
        const int rc = m_guard.Read(packet.get());
        if (rc == AVERROR_EOF)
            return AV_NOPTS_VALUE;
        m_reporter.CheckStop();
        Check(rc, "read input");
        if (packet->stream_index != m_videoIndex || !(packet->flags & AV_PKT_FLAG_KEY))
            continue;
        const int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        m_keyframe = std::move(packet);
        if (ts == AV_NOPTS_VALUE)
            return m_originUs; // no time to judge by: take it
        return av_rescale_q(ts, m_input->streams[m_videoIndex]->time_base, AV_TIME_BASE_Q);
    }
}

int Transcoder::ReadPacket(AVPacket* packet)
{
    if (!m_keyframe) {
        const int rc = m_guard.Read(packet);
        m_reporter.CheckStop(); // a stop the guard heard
        return rc;
    }
    av_packet_move_ref(packet, m_keyframe.get());
    m_keyframe.reset();
    return 0;
}

void Transcoder::StopSkippingNear(const AVPacket* packet)
{
    // Half a second of margin covers reordering: every picture from there on is decoded.
    constexpr int64_t kMarginUs = 500000;
    const int64_t ts = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    const AVStream* st = m_input->streams[m_videoIndex];
    if (ts == AV_NOPTS_VALUE || av_rescale_q(ts, st->time_base, AV_TIME_BASE_Q) >= m_originUs - kMarginUs) {
        m_videoDecoder->skip_frame = AVDISCARD_DEFAULT;
        m_skippingToStart = false;
    }
}

int64_t Transcoder::WrittenUs() const
{
    // The longer track decides: audio that runs on after the video's end is still progress.
    return std::max(m_video ? m_video->EndUs() : 0, m_audio ? m_audio->EndUs() : 0);
}

void Transcoder::ReportPosition()
{
    m_reporter.Position((m_plan.output.startUs + WrittenUs()) / 1000);
}

void Transcoder::Run()
{
    Open();
    bool estimated = false;
    m_sourceDurationUs = SourceDurationUs(m_input.get(), m_plan.inputs[0], m_reporter, estimated);
    m_reporter.Total(m_sourceDurationUs / 1000);
    if (estimated)
        m_sourceDurationUs = 0; // an estimate tells no jump in the timestamps
    if (!UseKeptPicture())
        SeekToStart();

    PacketPtr packet = MakePacket();
    for (;;) {
        ReportPosition(); // and the stop check, once a packet
        if (VideoDone())
            break;
        int rc = ReadPacket(packet.get());
        if (rc == AVERROR_EOF)
            break;
        if (rc < 0) // a truncated or damaged container: never a success
            Check(rc, "read input");
        if ((packet->flags & AV_PKT_FLAG_CORRUPT) &&
            (packet->stream_index == m_videoIndex || packet->stream_index == m_audioIndex))
            throw MediaError(AVERROR_INVALIDDATA, "the input is truncated or damaged"); // short read, bad payload
        if (packet->stream_index == m_videoIndex) {
            if (m_skippingToStart)
                StopSkippingNear(packet.get());
            Decode(m_videoDecoder.get(), packet.get());
            if (m_silence && m_audio)
                m_audio->SilenceUntil(m_video->EndUs()); // keeps the silence along with the pictures
        }
        else if (packet->stream_index == m_audioIndex)
            Decode(m_audioDecoder.get(), packet.get());
        av_packet_unref(packet.get());
    }
    if (m_videoDecoder && !VideoDone())
        Decode(m_videoDecoder.get(), nullptr);
    if (m_audioDecoder && !VideoDone())
        Decode(m_audioDecoder.get(), nullptr);

    if (m_video && m_videoPushed == 0 && m_held) {
        // "-ss" beyond the last picture: the last picture stands in.
        m_held->pts = 0;
        m_video->Push(m_held.get());
        ++m_videoPushed;
    }
    m_held.reset();
    if (m_decodeErrors > m_videoFrames + m_audioFrames)
        throw MediaError(AVERROR_INVALIDDATA, "the input is mostly undecodable");
    if (m_video) {
        m_video->Finish();
        if (m_video->FramesSent() == 0)
            throw MediaError(AVERROR_INVALIDDATA, "no picture could be decoded");
    }
    if (m_audio) {
        if (!m_video && m_audioPushed == 0)
            throw MediaError(AVERROR_INVALIDDATA, "no sound could be decoded");
        // Silence lasts as long as the video; so does an audio track whose stream gave nothing.
        const bool pad = m_video && (m_silence || m_audioPushed == 0);
        m_audio->Finish(pad ? m_video->EndUs() : -1);
    }
    ReportPosition();
    m_output->Finish();
    m_reporter.Send(TQ9_EVENT_OUTPUT_LENGTH, 0, WrittenUs() / 1000);
    DebugLog("transcode done: %lld pictures, %lld bytes, %lld decoding errors",
        static_cast<long long>(m_video ? m_video->FramesSent() : 0), static_cast<long long>(m_output->BytesWritten()),
        static_cast<long long>(m_decodeErrors));
}

void Transcoder::Decode(AVCodecContext* decoder, const AVPacket* packet)
{
    int rc = avcodec_send_packet(decoder, packet);
    if (rc < 0 && rc != AVERROR_EOF) {
        // A damaged packet: skipped as the ffmpeg tool does, but counted.
        ++m_decodeErrors;
        DebugLog("decoding error: %s", ErrorText(rc).c_str());
        if (rc == AVERROR(ENOMEM))
            Check(rc, "decode");
        if (packet)
            return;
    }
    int errorsInARow = 0;
    for (;;) {
        rc = avcodec_receive_frame(decoder, m_frame.get());
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            return;
        if (rc < 0) {
            ++m_decodeErrors;
            DebugLog("decoding error: %s", ErrorText(rc).c_str());
            if (rc == AVERROR(ENOMEM))
                Check(rc, "decode");
            if (packet || ++errorsInARow > 16)
                return;
            continue;
        }
        errorsInARow = 0;
        if (decoder == m_videoDecoder.get())
            OnVideoFrame(m_frame.get());
        else
            OnAudioFrame(m_frame.get());
        av_frame_unref(m_frame.get());
        if (!packet)
            m_reporter.Tick(); // draining: still one stop check a frame
        if (VideoDone())
            return;
    }
}

bool Transcoder::UseKeptPicture()
{
    if (!m_video || !m_memo)
        return false;
    const std::string& path = m_plan.inputs[0].path;
    const AVStream* st = m_input->streams[m_videoIndex];
    const OutputSpec& spec = m_plan.output;
    if (spec.maxVideoFrames == 1 && !m_audio) {
        int64_t ts = 0;
        if (FramePtr kept = m_memo->Find(path, spec.startUs, st->time_base, &ts)) {
            // The picture this run would decode first; with "-vframes 1" the loop then reads nothing.
            DebugLog("thumbnail from the picture kept by the conversion");
            kept->best_effort_timestamp = ts;
            OnVideoFrame(kept.get());
            return true;
        }
    }
    if (spec.startUs == 0)
        m_keepPictures = m_memo->Begin(path, m_originUs, st->time_base, DurationUs(m_input.get()));
    return false;
}

void Transcoder::OnVideoFrame(AVFrame* frame)
{
    ++m_videoFrames;
    const AVStream* st = m_input->streams[m_videoIndex];
    if (m_keepPictures)
        m_memo->Offer(frame, frame->best_effort_timestamp);
    int64_t ts = frame->best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE)
        ts = m_nextVideoPts != AV_NOPTS_VALUE ? m_nextVideoPts : av_rescale_q(m_originUs, AV_TIME_BASE_Q, st->time_base);
    else if (m_nextVideoPts != AV_NOPTS_VALUE && IsPastTheEnd(ts, st->time_base))
        ts = m_nextVideoPts; // a damaged timestamp: the pictures go on where they were, nothing is repeated
    int64_t step = frame->pkt_duration;
    if (step <= 0 && st->avg_frame_rate.num > 0 && st->avg_frame_rate.den > 0)
        step = av_rescale_q(1, av_inv_q(st->avg_frame_rate), st->time_base);
    m_nextVideoPts = ts + std::max<int64_t>(step, 1);

    const int64_t rel = ts - av_rescale_q(m_originUs, AV_TIME_BASE_Q, st->time_base);
    if (rel < 0 && m_plan.output.startUs > 0) {
        // Before "-ss": keep only the latest, in case nothing comes after the start.
        if (!m_held)
            m_held = MakeFrame();
        av_frame_unref(m_held.get());
        Check(av_frame_ref(m_held.get(), frame), "keep picture");
        return;
    }
    m_held.reset();
    frame->pts = rel;
    m_video->Push(frame);
    ++m_videoPushed;
}

bool Transcoder::IsPastTheEnd(int64_t ts, AVRational timeBase) const
{
    // A second of slack: the container's duration may end with the last packet's start.
    constexpr int64_t kSlackUs = 1000000;
    if (m_sourceDurationUs <= 0)
        return false;
    const int64_t us = av_rescale_q(ts, timeBase, AV_TIME_BASE_Q) - StartTimeUs(m_input.get());
    return us > m_sourceDurationUs + kSlackUs;
}

void Transcoder::OnAudioFrame(AVFrame* frame)
{
    ++m_audioFrames;
    if (!m_audio || frame->sample_rate <= 0)
        return;
    const AVStream* st = m_input->streams[m_audioIndex];
    int64_t relUs = 0;
    if (frame->best_effort_timestamp != AV_NOPTS_VALUE)
        relUs = av_rescale_q(frame->best_effort_timestamp, st->time_base, AV_TIME_BASE_Q) - m_originUs;
    const int64_t endUs = relUs + av_rescale(frame->nb_samples, AV_TIME_BASE, frame->sample_rate);
    if (m_plan.output.startUs > 0 && endUs <= 0)
        return; // wholly before "-ss"
    m_audio->Push(frame, relUs);
    ++m_audioPushed;
}

} // namespace tq9media
