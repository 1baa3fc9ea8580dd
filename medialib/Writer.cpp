// The C entry points of the writer API (see tq9media.h); each catches everything and returns a status.
#include "medialib/MediaWriter.h"
#include "medialib/tq9media.h"

using namespace tq9media;

struct Tq9MediaWriter {
    MediaWriter impl;
    Tq9MediaWriter(const char* path, const Tq9WriterSettings& settings) : impl(path, settings) {}
};

extern "C" {

TQ9MEDIA_API int Tq9WriterOpen(const char* pathUtf8, const Tq9WriterSettings* settings, Tq9MediaWriter** writer)
{
    InitLibrary();
    if (!writer)
        return AVERROR(EINVAL);
    *writer = nullptr;
    if (!pathUtf8 || !settings)
        return AVERROR(EINVAL);
    return StatusOf([&] {
        *writer = new Tq9MediaWriter(pathUtf8, *settings);
        return 0;
    });
}

TQ9MEDIA_API int Tq9WriterVideo(Tq9MediaWriter* writer, const uint8_t* const planes[3], const int lineSizes[3],
    int64_t ptsUs)
{
    if (!writer || !planes || !lineSizes)
        return AVERROR(EINVAL);
    return writer->impl.Video(planes, lineSizes, ptsUs);
}

TQ9MEDIA_API int Tq9WriterAudio(Tq9MediaWriter* writer, const int16_t* samples, int frames, int64_t ptsUs)
{
    if (!writer)
        return AVERROR(EINVAL);
    return writer->impl.Audio(samples, frames, ptsUs);
}

TQ9MEDIA_API int Tq9WriterClose(Tq9MediaWriter* writer)
{
    if (!writer)
        return AVERROR(EINVAL);
    const int rc = writer->impl.Close();
    delete writer;
    return rc;
}

TQ9MEDIA_API void Tq9WriterAbort(Tq9MediaWriter* writer)
{
    delete writer;
}
}
