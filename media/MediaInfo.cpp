#include "media/MediaInfo.h"

#include <cstring>

#include "media/library/tq9media.h"

namespace tq9 {

namespace {

int32_t High(int64_t value)
{
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value) >> 32));
}

int32_t Low(int64_t value)
{
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

double AsDouble(int64_t value)
{
    double d;
    std::memcpy(&d, &value, sizeof d);
    return d;
}

} // namespace

void MediaInfo::Record(int kind, int streamId, int64_t value)
{
    const bool validId = streamId >= 0 && streamId <= kMaxStreamId;
    if (validId && static_cast<size_t>(streamId) >= streams.size())
        streams.resize(static_cast<size_t>(streamId) + 1);

    switch (kind) {
    case TQ9_EVENT_DURATION:
        durationMs = Low(value);
        return;
    case TQ9_EVENT_FORMAT_INFO: {
        // The library passes the address of its own string, valid during the call.
        const char* name = reinterpret_cast<const char*>(static_cast<intptr_t>(value));
        formatName = name ? name : "";
        return;
    }
    default:
        break;
    }
    if (!validId)
        return;
    CFFMpegConverter::StreamInfo& stream = streams[static_cast<size_t>(streamId)];
    switch (kind) {
    case TQ9_EVENT_RESOLUTION:
        stream.width = High(value);
        stream.height = Low(value);
        break;
    case TQ9_EVENT_DAR:
        stream.darNum = High(value);
        stream.darDen = Low(value);
        break;
    case TQ9_EVENT_PAR:
        stream.parNum = High(value);
        stream.parDen = Low(value);
        break;
    case TQ9_EVENT_V_BIT_RATE:
        stream.videoBitRate = AsDouble(value);
        break;
    case TQ9_EVENT_A_BIT_RATE:
        stream.audioBitRate = AsDouble(value);
        break;
    case TQ9_EVENT_SAMPLING_RATE:
        stream.sampleRate = Low(value);
        break;
    case TQ9_EVENT_CHANNEL:
        stream.channels = Low(value);
        break;
    case TQ9_EVENT_STREAM_INFO:
        stream.codecId = static_cast<uint32_t>(Low(value));
        break;
    case TQ9_EVENT_ROTATION:
        stream.rotation = Low(value);
        break;
    default: // kinds 0, 2, 7 and unknown kinds store nothing here
        break;
    }
}

const CFFMpegConverter::StreamInfo* MediaInfo::VideoStream() const
{
    for (const auto& stream : streams)
        if (stream.codecId <= 0xFFFF)
            return &stream;
    return nullptr;
}

const CFFMpegConverter::StreamInfo* MediaInfo::AudioStream() const
{
    for (const auto& stream : streams)
        if (stream.codecId > 0xFFFF)
            return &stream;
    return nullptr;
}

bool IsMpeg4Mp3(const MediaInfo& info)
{
    const CFFMpegConverter::StreamInfo* video = info.VideoStream();
    if (!video || video->codecId == 0)
        return false;
    const CFFMpegConverter::StreamInfo* audio = info.AudioStream();
    return audio && video->codecId == TQ9_CODEC_MPEG4 && audio->codecId == TQ9_CODEC_MP3;
}

} // namespace tq9
