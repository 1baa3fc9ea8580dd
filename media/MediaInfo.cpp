#include "media/MediaInfo.h"

#include "medialib/tq9media.h"

namespace tq9 {

void MediaInfo::Record(int kind, int streamId, int64_t value)
{
    const bool validId = streamId >= 0 && streamId <= kMaxStreamId;
    if (validId && static_cast<size_t>(streamId) >= streams.size())
        streams.resize(static_cast<size_t>(streamId) + 1);

    switch (kind) {
    case TQ9_EVENT_DURATION:
        durationMs = Tq9EventLow(value);
        return;
    case TQ9_EVENT_DURATION_ESTIMATED:
        durationEstimated = true;
        return;
    case TQ9_EVENT_FORMAT_INFO: {
        // The library passes the address of its own string, valid during the call.
        const char* name = Tq9EventString(value);
        formatName = name ? name : "";
        return;
    }
    default:
        break;
    }
    if (!validId)
        return;
    StreamInfo& stream = streams[static_cast<size_t>(streamId)];
    switch (kind) {
    case TQ9_EVENT_RESOLUTION:
        stream.width = Tq9EventHigh(value);
        stream.height = Tq9EventLow(value);
        break;
    case TQ9_EVENT_DAR:
        stream.darNum = Tq9EventHigh(value);
        stream.darDen = Tq9EventLow(value);
        break;
    case TQ9_EVENT_PAR:
        stream.parNum = Tq9EventHigh(value);
        stream.parDen = Tq9EventLow(value);
        break;
    case TQ9_EVENT_V_BIT_RATE:
        stream.videoBitRate = Tq9EventDouble(value);
        break;
    case TQ9_EVENT_A_BIT_RATE:
        stream.audioBitRate = Tq9EventDouble(value);
        break;
    case TQ9_EVENT_SAMPLING_RATE:
        stream.sampleRate = Tq9EventLow(value);
        break;
    case TQ9_EVENT_CHANNEL:
        stream.channels = Tq9EventLow(value);
        break;
    case TQ9_EVENT_STREAM_INFO:
        stream.codecId = static_cast<uint32_t>(Tq9EventLow(value));
        break;
    case TQ9_EVENT_ROTATION:
        stream.rotation = Tq9EventLow(value);
        break;
    default: // kinds 0, 2, 7 and unknown kinds store nothing here
        break;
    }
}

const StreamInfo* MediaInfo::VideoStream() const
{
    for (const auto& stream : streams)
        if (stream.codecId <= 0xFFFF)
            return &stream;
    return nullptr;
}

const StreamInfo* MediaInfo::AudioStream() const
{
    for (const auto& stream : streams)
        if (stream.codecId > 0xFFFF)
            return &stream;
    return nullptr;
}

bool IsMpeg4Mp3(const MediaInfo& info)
{
    const StreamInfo* video = info.VideoStream();
    if (!video || video->codecId == 0)
        return false;
    const StreamInfo* audio = info.AudioStream();
    return audio && video->codecId == TQ9_CODEC_MPEG4 && audio->codecId == TQ9_CODEC_MP3;
}

} // namespace tq9
