/*
 * libtq9media: the media library. A C ABI over FFmpeg; nothing outside this library (and the ASF
 * writer) sees FFmpeg's headers. Strings are UTF-8.
 */
#ifndef TQ9MEDIA_H
#define TQ9MEDIA_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(TQ9MEDIA_BUILD)
#define TQ9MEDIA_API __attribute__((visibility("default")))
#else
#define TQ9MEDIA_API
#endif

/* Event kinds sent through the transcode callback. */
enum {
    TQ9_EVENT_STATUS = 0,        /* final status, low 32 bits; non-negative = success */
    TQ9_EVENT_DURATION = 1,      /* progress total / duration, milliseconds */
    TQ9_EVENT_POSITION = 2,      /* progress position, milliseconds */
    TQ9_EVENT_RESOLUTION = 3,    /* high 32 bits width, low 32 bits height */
    TQ9_EVENT_DAR = 4,           /* high numerator, low denominator */
    TQ9_EVENT_PAR = 5,           /* high numerator, low denominator */
    TQ9_EVENT_V_BIT_RATE = 6,    /* the 8 bytes of a double */
    TQ9_EVENT_A_BIT_RATE = 8,    /* the 8 bytes of a double */
    TQ9_EVENT_SAMPLING_RATE = 9, /* low 32 bits */
    TQ9_EVENT_CHANNEL = 10,      /* low 32 bits */
    TQ9_EVENT_STREAM_INFO = 11,  /* low 32 bits: codec identifier */
    TQ9_EVENT_FORMAT_INFO = 12   /* low: address of a NUL-terminated string, valid during the call */
};

/* Codec identifiers: video codecs are non-zero and below 0x10000, audio codecs 0x10000 and above. */
enum {
    TQ9_CODEC_MPEG4 = 13,
    TQ9_CODEC_MP3 = 0x15001
};

/*
 * Called on the transcoding thread. Returns 0 to go on, -1 to ask the run to stop.
 * file id: 0 for the first input; stream id: the stream's number among the file's streams.
 */
typedef int (*TranscodeCallback)(void* user, int kind, int fileId, int streamId, int64_t value);

/*
 * Runs an ffmpeg-style argument vector (argv[0] is empty) on the caller's thread. An input without an
 * output is a probe. Returns the final status, also sent as kind 0: non-negative on success.
 */
TQ9MEDIA_API int Transcode(TranscodeCallback callback, void* user, int argc, const char* const* argv);

#ifdef __cplusplus
}
#endif

#endif
