// The WMV writer: not written yet; every call fails so callers see a clear error rather than a missing symbol.
#include <cerrno>

#include "media/library/Ffmpeg.h"
#include "media/library/tq9media.h"

extern "C" {

int Tq9WriterOpen(const char*, const Tq9WriterSettings*, Tq9MediaWriter** writer)
{
    if (writer)
        *writer = nullptr;
    return AVERROR(ENOSYS);
}

int Tq9WriterVideo(Tq9MediaWriter*, const uint8_t* const[3], const int[3], int64_t) { return AVERROR(ENOSYS); }

int Tq9WriterAudio(Tq9MediaWriter*, const int16_t*, int, int64_t) { return AVERROR(ENOSYS); }

int Tq9WriterClose(Tq9MediaWriter*) { return AVERROR(ENOSYS); }

void Tq9WriterAbort(Tq9MediaWriter*) {}
}
