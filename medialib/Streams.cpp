// Stream selection, the contract's codec numbering, input opening and decoder set-up.
#include "medialib/Streams.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "medialib/InputGuard.h"
#include "medialib/Reporter.h"

extern "C" {
#include <libavutil/display.h>
}

namespace tq9media {

// FFmpeg 5.1 numbers MPEG-4 Part 2 12: the generation the contract comes from still had MPEG-2 XvMC at 3,
// so every video codec from H.261 on is one higher there. Audio numbers did not move.
static_assert(AV_CODEC_ID_H261 == 3 && AV_CODEC_ID_MPEG4 == 12, "FFmpeg's video codec numbering moved");
static_assert(AV_CODEC_ID_MP3 == 0x15001 && AV_CODEC_ID_FIRST_AUDIO == 0x10000, "FFmpeg's audio numbering moved");

bool IsMediaStream(const AVStream* st)
{
    const AVMediaType type = st->codecpar->codec_type;
    if (type == AVMEDIA_TYPE_AUDIO)
        return true;
    return type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC);
}

int ContractCodecId(const AVCodecParameters* par)
{
    const int id = par->codec_id;
    switch (par->codec_type) {
    case AVMEDIA_TYPE_VIDEO:
        if (id == AV_CODEC_ID_NONE || id >= AV_CODEC_ID_FIRST_AUDIO)
            return 0;
        return id >= AV_CODEC_ID_H261 ? std::min(id + 1, 0xFFFF) : id;
    case AVMEDIA_TYPE_AUDIO:
        if (id < AV_CODEC_ID_FIRST_AUDIO || id >= AV_CODEC_ID_FIRST_SUBTITLE)
            return 0;
        return id;
    default:
        return -1;
    }
}

AVCodecID CodecOfContractId(uint32_t id)
{
    if (id == 0 || id >= AV_CODEC_ID_FIRST_SUBTITLE)
        return AV_CODEC_ID_NONE;
    if (id >= AV_CODEC_ID_FIRST_AUDIO)
        return static_cast<AVCodecID>(id);
    // Video numbers from H.261 on are one above FFmpeg's.
    return static_cast<AVCodecID>(id > AV_CODEC_ID_H261 ? id - 1 : id);
}

StreamChoice ChooseStreams(const AVFormatContext* ctx)
{
    StreamChoice c;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream* st = ctx->streams[i];
        if (!IsMediaStream(st))
            continue;
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && c.video < 0)
            c.video = static_cast<int>(i);
        else if (st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && c.audio < 0)
            c.audio = static_cast<int>(i);
    }
    return c;
}

int64_t StartTimeUs(const AVFormatContext* ctx)
{
    return ctx->start_time == AV_NOPTS_VALUE ? 0 : ctx->start_time;
}

int64_t DurationUs(const AVFormatContext* ctx)
{
    if (ctx->duration != AV_NOPTS_VALUE && ctx->duration > 0)
        return ctx->duration;
    int64_t longest = 0;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream* st = ctx->streams[i];
        if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
            longest = std::max(longest, av_rescale_q(st->duration, st->time_base, AV_TIME_BASE_Q));
    }
    return longest;
}

int64_t SourceDurationUs(const AVFormatContext* ctx, const InputSpec& input, Reporter& reporter, bool& estimated)
{
    estimated = false;
    if (ctx->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE)
        return DurationUs(ctx);
    InputGuard guard(&reporter);
    InputContextPtr scan = OpenInput(input.path, input.format, &guard);
    guard.SetBudget(kDurationScanTime, kDurationScanBytes);
    const StreamChoice choice = ChooseStreams(scan.get());
    for (unsigned i = 0; i < scan->nb_streams; ++i)
        if (static_cast<int>(i) != choice.video && static_cast<int>(i) != choice.audio)
            scan->streams[i]->discard = AVDISCARD_ALL;
    PacketPtr packet = MakePacket();
    int64_t endUs = AV_NOPTS_VALUE;
    int rc = 0;
    while ((rc = guard.Read(packet.get())) >= 0) {
        const AVStream* st = scan->streams[packet->stream_index];
        const int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (ts != AV_NOPTS_VALUE) {
            const int64_t end = av_rescale_q(ts + std::max<int64_t>(packet->duration, 0), st->time_base, AV_TIME_BASE_Q);
            endUs = endUs == AV_NOPTS_VALUE ? end : std::max(endUs, end);
        }
        av_packet_unref(packet.get());
    }
    reporter.CheckStop();
    // A file longer than the budget keeps the estimate, and says so; a tail without packets (zeros) ends
    // the file where the conversion will end it too.
    const InputGuard::Reason why = guard.Why();
    if (why == InputGuard::Reason::OutOfTime || why == InputGuard::Reason::OutOfBytes) {
        estimated = true;
        return DurationUs(ctx);
    }
    if (rc != AVERROR_EOF || endUs == AV_NOPTS_VALUE)
        return DurationUs(ctx); // a damaged file: the conversion reports that; the estimate stands
    return std::max<int64_t>(endUs - StartTimeUs(scan.get()), 0);
}

int DisplayRotation(const AVStream* st)
{
    const auto* matrix = reinterpret_cast<const int32_t*>(av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    if (!matrix)
        return 0;
    // The matrix turns counter-clockwise by this angle; as a clockwise quarter turn, 0..270.
    const double ccw = av_display_rotation_get(matrix);
    if (std::isnan(ccw))
        return 0;
    const long quarters = std::lround(-ccw / 90.0);
    return static_cast<int>(((quarters % 4) + 4) % 4) * 90;
}

CodecContextPtr OpenDecoder(const AVStream* st, int threads)
{
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec)
        throw MediaError(AVERROR_DECODER_NOT_FOUND, std::string("no decoder for ") + avcodec_get_name(st->codecpar->codec_id));
    CodecContextPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx)
        throw std::bad_alloc();
    Check(avcodec_parameters_to_context(ctx.get(), st->codecpar), "decoder parameters");
    ctx->pkt_timebase = st->time_base;
    ctx->thread_count = threads; // 0: automatic, as "-threads auto"
    ctx->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    Check(avcodec_open2(ctx.get(), codec, nullptr), "open decoder");
    return ctx;
}

InputContextPtr OpenInput(const std::string& path, const std::string& format, InputGuard* guard)
{
    const AVInputFormat* ifmt = nullptr;
    if (!format.empty()) {
        ifmt = av_find_input_format(format.c_str());
        if (!ifmt)
            throw MediaError(AVERROR_DEMUXER_NOT_FOUND, "unknown input format " + format);
    }
    Dictionary opts;
    // Local files only: a playlist or reference inside a file may not reach for the network.
    opts.Set("protocol_whitelist", "file");
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        throw std::bad_alloc();
    if (guard)
        guard->Attach(raw); // before the open: its reads are guarded too
    Check(avformat_open_input(&raw, FileUrl(path).c_str(), ifmt, opts.Address()), "open input"); // frees raw on failure
    InputContextPtr ctx(raw);
    Check(avformat_find_stream_info(ctx.get(), nullptr), "read stream information");
    return ctx;
}

} // namespace tq9media
