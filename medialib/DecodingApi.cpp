// The C entry points of the decoding API (see tq9media.h); each catches everything and returns a status.
#include "medialib/tq9media.h"

#include "medialib/Ffmpeg.h"
#include "medialib/MediaFile.h"

using namespace tq9media;

static_assert(TQ9_MEDIA_AGAIN == AVERROR(EAGAIN), "TQ9_MEDIA_AGAIN must be AVERROR(EAGAIN)");
static_assert(TQ9_MEDIA_EOF == AVERROR_EOF, "TQ9_MEDIA_EOF must be AVERROR_EOF");
static_assert(TQ9_MEDIA_TIME_NONE == AV_NOPTS_VALUE, "TQ9_MEDIA_TIME_NONE must be AV_NOPTS_VALUE");

struct Tq9MediaFile {
    MediaFile impl;
    explicit Tq9MediaFile(const char* path) : impl(path) {}
};

struct Tq9MediaPacket {
    PacketPtr packet = MakePacket();
    int64_t ptsUs = TQ9_MEDIA_TIME_NONE;
    int64_t dtsUs = TQ9_MEDIA_TIME_NONE;
    int64_t durationUs = 0;
};

namespace {

bool ValidStream(const Tq9MediaFile* file, int stream)
{
    return file && stream >= 0 && stream < file->impl.StreamCount();
}

} // namespace

extern "C" {

TQ9MEDIA_API int Tq9MediaOpen(const char* pathUtf8, Tq9MediaFile** file)
{
    InitLibrary();
    if (!pathUtf8 || !file)
        return AVERROR(EINVAL);
    return StatusOf([&] {
        *file = new Tq9MediaFile(pathUtf8);
        return 0;
    });
}

TQ9MEDIA_API void Tq9MediaClose(Tq9MediaFile* file)
{
    delete file;
}

TQ9MEDIA_API int Tq9MediaStreamCount(const Tq9MediaFile* file)
{
    return file ? file->impl.StreamCount() : AVERROR(EINVAL);
}

TQ9MEDIA_API int Tq9MediaGetStreamInfo(const Tq9MediaFile* file, int stream, Tq9MediaStreamInfo* info)
{
    if (!ValidStream(file, stream) || !info)
        return AVERROR(EINVAL);
    file->impl.GetInfo(stream, info);
    return 0;
}

TQ9MEDIA_API int64_t Tq9MediaDurationUs(const Tq9MediaFile* file)
{
    return file ? file->impl.DurationUs() : TQ9_MEDIA_TIME_NONE;
}

TQ9MEDIA_API int Tq9MediaFindStream(const Tq9MediaFile* file, int type)
{
    return file ? file->impl.FindStream(type) : -1;
}

TQ9MEDIA_API int Tq9MediaOpenDecoder(Tq9MediaFile* file, int stream)
{
    if (!ValidStream(file, stream))
        return AVERROR(EINVAL);
    return StatusOf([&] {
        file->impl.OpenDecoder(stream);
        return 0;
    });
}

TQ9MEDIA_API int Tq9MediaReadPacket(Tq9MediaFile* file, Tq9MediaPacket** packet)
{
    if (!file || !packet)
        return AVERROR(EINVAL);
    return StatusOf([&] {
        auto p = std::make_unique<Tq9MediaPacket>();
        int rc = file->impl.Read(p->packet.get());
        if (rc < 0)
            return rc;
        const AVPacket* pkt = p->packet.get();
        const AVRational tb = file->impl.TimeBase(pkt->stream_index);
        p->ptsUs = Tq9MediaRescaleToUs(pkt->pts, tb.num, tb.den);
        p->dtsUs = Tq9MediaRescaleToUs(pkt->dts, tb.num, tb.den);
        p->durationUs = pkt->duration > 0 ? Tq9MediaRescaleToUs(pkt->duration, tb.num, tb.den) : 0;
        *packet = p.release();
        return 0;
    });
}

TQ9MEDIA_API int Tq9MediaPacketStream(const Tq9MediaPacket* packet)
{
    return packet ? packet->packet->stream_index : -1;
}

TQ9MEDIA_API int64_t Tq9MediaPacketPtsUs(const Tq9MediaPacket* packet)
{
    return packet ? packet->ptsUs : TQ9_MEDIA_TIME_NONE;
}

TQ9MEDIA_API int64_t Tq9MediaPacketDtsUs(const Tq9MediaPacket* packet)
{
    return packet ? packet->dtsUs : TQ9_MEDIA_TIME_NONE;
}

TQ9MEDIA_API int64_t Tq9MediaPacketDurationUs(const Tq9MediaPacket* packet)
{
    return packet ? packet->durationUs : 0;
}

TQ9MEDIA_API int Tq9MediaPacketIsKey(const Tq9MediaPacket* packet)
{
    return packet && (packet->packet->flags & AV_PKT_FLAG_KEY) ? 1 : 0;
}

TQ9MEDIA_API const uint8_t* Tq9MediaPacketData(const Tq9MediaPacket* packet)
{
    return packet ? packet->packet->data : nullptr;
}

TQ9MEDIA_API int Tq9MediaPacketSize(const Tq9MediaPacket* packet)
{
    return packet ? packet->packet->size : 0;
}

TQ9MEDIA_API void Tq9MediaPacketFree(Tq9MediaPacket* packet)
{
    delete packet;
}

TQ9MEDIA_API int64_t Tq9MediaRescaleToUs(int64_t value, int num, int den)
{
    if (value == TQ9_MEDIA_TIME_NONE || num <= 0 || den <= 0)
        return TQ9_MEDIA_TIME_NONE;
    return av_rescale_q(value, AVRational{num, den}, AVRational{1, 1000000});
}

TQ9MEDIA_API int Tq9MediaSendPacket(Tq9MediaFile* file, const Tq9MediaPacket* packet)
{
    if (!file || !packet)
        return AVERROR(EINVAL);
    return StatusOf([&] { return file->impl.Send(packet->packet->stream_index, packet->packet.get()); });
}

TQ9MEDIA_API int Tq9MediaSendEnd(Tq9MediaFile* file, int stream)
{
    if (!ValidStream(file, stream))
        return AVERROR(EINVAL);
    return StatusOf([&] {
        int rc = file->impl.Send(stream, nullptr);
        return rc == AVERROR_EOF ? 0 : rc; // already draining
    });
}

TQ9MEDIA_API int Tq9MediaReceivePicture(Tq9MediaFile* file, int stream, Tq9MediaPicture* picture)
{
    if (!ValidStream(file, stream) || !picture)
        return AVERROR(EINVAL);
    return StatusOf([&] { return file->impl.ReceivePicture(stream, picture); });
}

TQ9MEDIA_API int Tq9MediaReceiveSound(Tq9MediaFile* file, int stream, Tq9MediaSound* sound)
{
    if (!ValidStream(file, stream) || !sound)
        return AVERROR(EINVAL);
    return StatusOf([&] { return file->impl.ReceiveSound(stream, sound); });
}

} // extern "C"
