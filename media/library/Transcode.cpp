// Placeholder until the transcoder lands: every run fails with a negative status.
#include "media/library/tq9media.h"

extern "C" int Transcode(TranscodeCallback callback, void* user, int, const char* const*)
{
    const int status = -38; // ENOSYS
    if (callback)
        callback(user, TQ9_EVENT_STATUS, 0, 0, status);
    return status;
}
