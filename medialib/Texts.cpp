// The library's texts for people: error reasons and codec names.
#include "medialib/Streams.h"
#include "medialib/tq9media.h"

#include <cstdio>

using namespace tq9media;

extern "C" {

TQ9MEDIA_API const char* Tq9MediaErrorText(int status, char* buf, int size)
{
    if (!buf || size <= 0)
        return buf;
    if (av_strerror(status, buf, static_cast<size_t>(size)) < 0)
        std::snprintf(buf, static_cast<size_t>(size), "error %d", status);
    return buf;
}

TQ9MEDIA_API const char* Tq9MediaCodecName(uint32_t codecId)
{
    const AVCodecID codec = CodecOfContractId(codecId);
    return codec == AV_CODEC_ID_NONE ? "unknown" : avcodec_get_name(codec);
}

} // extern "C"
