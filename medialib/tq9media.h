/*
 * libtq9media: the media library. A C ABI over FFmpeg; nothing outside this library sees FFmpeg's headers.
 * Strings are UTF-8.
 */
#ifndef TQ9MEDIA_H
#define TQ9MEDIA_H

#include <stdint.h>
#include <string.h>

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
    TQ9_EVENT_FORMAT_INFO = 12,  /* low: address of a NUL-terminated string, valid during the call */
    TQ9_EVENT_ROTATION = 13,     /* low: degrees (90, 180, 270) the stored picture is turned clockwise for display */
    TQ9_EVENT_OUTPUT_LENGTH = 14, /* length of the output written, milliseconds */
    TQ9_EVENT_DURATION_ESTIMATED = 15 /* the probe's duration is the container's estimate (value 1) */
};

/* How an event's 64-bit value carries two 32-bit numbers, a double or a string. The library packs with
 * these and every caller unpacks with them. */
static inline int64_t Tq9EventPair(int32_t high, int32_t low)
{
    return (int64_t)(((uint64_t)(uint32_t)high << 32) | (uint32_t)low);
}
static inline int32_t Tq9EventHigh(int64_t value) { return (int32_t)(uint32_t)((uint64_t)value >> 32); }
static inline int32_t Tq9EventLow(int64_t value) { return (int32_t)(uint32_t)(uint64_t)value; }
static inline int64_t Tq9EventFromDouble(double number)
{
    int64_t value;
    memcpy(&value, &number, sizeof value);
    return value;
}
static inline double Tq9EventDouble(int64_t value)
{
    double number;
    memcpy(&number, &value, sizeof number);
    return number;
}
static inline int64_t Tq9EventFromString(const char* text) { return (int64_t)(intptr_t)text; }
static inline const char* Tq9EventString(int64_t value) { return (const char*)(intptr_t)value; }

/* Codec identifiers: video codecs are non-zero and below 0x10000, audio codecs 0x10000 and above. */
enum {
    TQ9_CODEC_MPEG4 = 13,
    TQ9_CODEC_MP3 = 0x15001
};

/*
 * Called on the transcoding thread. Returns 0 to go on, -1 to ask the run to stop.
 * file id: always 0 (the first input).
 * stream id: the stream's number among the file's AUDIO AND VIDEO streams only, from 0 in container order.
 *   Subtitle, data and attachment streams, and attached pictures (cover art), are not reported and take no
 *   number, so entry 0 is always a real audio or video stream and no other kind can be mistaken for one.
 *   File-level kinds (0, 1, 2, 12) are sent with stream id 0.
 */
typedef int (*TranscodeCallback)(void* user, int kind, int fileId, int streamId, int64_t value);

/*
 * Runs an ffmpeg-style argument vector (argv[0] is empty; paths UTF-8) on the caller's thread and returns the
 * final status, also sent once as kind 0 (sign-extended): 0 on success, a negative FFmpeg error code on
 * failure. The options known are exactly those the converters build (see ARCHITECTURE.md, "The media
 * library's argument vectors"); an unknown option or a missing value fails with AVERROR(EINVAL) (-22).
 *
 * Probe (an input and no output): kind 12 (container format name), kind 1 (duration, ms), then for each
 * audio/video stream: kind 11 (codec id), and for video 3 (width, height as stored), 4 (display aspect of the
 * stored picture, only when the sample aspect is known), 5 (sample aspect; 0:1 when unknown), 6 (bit rate,
 * bit/s as a double), 13 (only when the picture is shown turned: a phone's portrait clip), for audio
 * 8 (bit rate, bit/s as a double), 9 (sample rate), 10 (channels). A file without an audio or video stream
 * fails. The duration is measured by reading the file through when the container only allows an estimate
 * from the bit rate (ADTS AAC, MP3 without a VBR header), within a second and 1 GiB of reading: beyond
 * that the estimate stands and kind 15 comes just before kind 1.
 *
 * Reading is bounded on every input: while a demuxer reads without handing over packets the callback is
 * asked (kind 2, the last position) every 20 ms, so a stop is heard within that; 16 MiB read without a
 * packet (a tail of zeros or junk) end the input there, with memory that stays flat.
 *
 * Conversion: kind 1 (the input's duration, ms) once the input is open, then kind 2 (output position, ms from
 * the input's start: the later of the video and the audio written so far) at least once per packet read and
 * per picture flushed. On success, just before kind 0: kind 2 and kind 14 with the length of what was
 * written (the longer of the two tracks), which is what a device will play, whatever the input declared.
 * When the callback answers -1 the run stops within one packet or picture, closes everything and ends with
 * AVERROR(ECANCELED) (-125).
 *
 * Pictures are turned upright (the stream's display matrix) before "-s" scales them. Timestamps that jump past
 * the input's duration are a discontinuity: the pictures go on from where the previous one ended, rather
 * than the gap being filled with repeated pictures. "-ss" decodes from the last keyframe at or before the
 * time on every container, so the picture is the one at that time. The output takes the input's tags but
 * none that would make the muxer add a track (a DV timecode).
 * Once the output has been opened for writing, a failure removes it if this run created it, or empties it
 * if it existed before (a reserved working file); a run that fails earlier never touches it. The same holds
 * for the pass log written by "-pass 1". An output that is the input itself is refused.
 * Runs share no state: several may go on at once on different threads.
 *
 * Errors the run fails on (rather than converting part of a file): an input that cannot be opened or holds
 * no audio/video stream, a demuxer error before the end of the file or a packet the demuxer marks corrupt
 * (a truncated file's short read, an MPEG-TS continuity error), more decoding errors than decoded frames, no
 * picture (video outputs) or no sound (audio-only outputs) at all. A packet that merely fails to decode is
 * skipped, as the ffmpeg tool does. Nothing is written to stderr unless the environment has TQ9_DEBUG=1.
 */
TQ9MEDIA_API int Transcode(TranscodeCallback callback, void* user, int argc, const char* const* argv);

/*
 * The pictures a conversion keeps for the thumbnail of the same file that follows it. An import converts a
 * recording and then takes its thumbnail (the first picture, or the first at 5 s for a recording longer
 * than 5 s); decoding the source again up to there is most of the thumbnail's cost. The caller owns the
 * memo for one source and hands it to both runs: a conversion from the start keeps references to those two
 * pictures (nothing is copied); a run of one picture without sound ("-vframes 1 -an") of the unchanged file
 * (same device, inode, size and modification time) starts from the kept one and lets everything go, so a
 * recording gets one thumbnail from it. The pictures are the decoder's own: the thumbnail is the same as
 * one decoded afresh. A memo is used by one run at a time. Free accepts null.
 */
typedef struct Tq9PictureMemo Tq9PictureMemo;
TQ9MEDIA_API Tq9PictureMemo* Tq9PictureMemoCreate(void);
TQ9MEDIA_API void Tq9PictureMemoFree(Tq9PictureMemo* memo);
/* Transcode, keeping pictures in memo or starting from them as above; a null memo is plain Transcode. */
TQ9MEDIA_API int TranscodeWithMemo(Tq9PictureMemo* memo, TranscodeCallback callback, void* user, int argc,
                                   const char* const* argv);

/* Texts for people: the reason behind a negative status of this library ("Invalid data found when
 * processing input"), written into buf (size bytes, NUL-terminated; returns buf), and the short name of a
 * codec in the contract's numbering ("mpeg4", "mp3"; "unknown" for 0 or a number that names no codec). */
TQ9MEDIA_API const char* Tq9MediaErrorText(int status, char* buf, int size);
TQ9MEDIA_API const char* Tq9MediaCodecName(uint32_t codecId);

/* ------------------------------------------------------------------------------------------------------
 * HDR still pictures: a photo whose pixels are PQ or HLG (an HDR HEIC, a PNG whose cICP chunk says so) is
 * tone-mapped to SDR as the video's pictures are (reference white, 203 cd/m2, at SDR white; highlights
 * rolled off towards the picture's peak; its gamut mapped to BT.709) and comes out in sRGB, as the device
 * shows a photo. Callable from any thread; runs share no state.
 * ------------------------------------------------------------------------------------------------------ */

typedef struct Tq9HdrStill {
    const uint16_t* pixels; /* R', G', B' and one unused value per pixel, 16-bit full scale, native order */
    int stride;             /* bytes from one row to the next */
    int width;
    int height;
    int transfer;           /* H.273 transfer characteristics: 16 PQ, 18 HLG (what HEIF's nclx and cICP say) */
    int primaries;          /* H.273 colour primaries: 9 BT.2020, 1 BT.709, 12 Display P3; 2 (unspecified): BT.2020 */
    double peakNits;        /* the brightest the picture gets (content light level, else mastering display), */
                            /* 0 unknown: PQ is taken as mastered for 1000 cd/m2, as for video */
} Tq9HdrStill;

/* Whether a picture with that transfer is one Tq9MediaHdrStillToSdr converts (PQ, HLG). */
TQ9MEDIA_API int Tq9MediaIsHdrTransfer(int transfer);
/* Converts picture into out: 8-bit R, G, B per pixel (sRGB), outStride bytes per row, picture's size.
 * 0 on success; AVERROR(EINVAL) for an SDR transfer or a bad size; another negative FFmpeg error code. */
TQ9MEDIA_API int Tq9MediaHdrStillToSdr(const Tq9HdrStill* picture, uint8_t* out, int outStride);

/* ------------------------------------------------------------------------------------------------------
 * Decoding API (open, stream information, open
 * decoder, read packet, times in microseconds, decode video to planar YUV 4:2:0, decode audio to
 * interleaved signed 16-bit, close), for the WMV export pipeline.
 *
 * Threads: a Tq9MediaFile may be used from several threads as long as calls that touch the same part do
 * not overlap: reading packets is one part, each opened decoder (one per stream) is another. So one thread
 * may read packets while another decodes video and a third decodes audio. A Tq9MediaPacket is independent
 * of the file's reading position and may be kept, queued and freed on any thread.
 *
 * Results: 0 (or a count) on success; TQ9_MEDIA_AGAIN, TQ9_MEDIA_EOF or another negative FFmpeg error code.
 * ------------------------------------------------------------------------------------------------------ */

#define TQ9_MEDIA_TIME_NONE INT64_MIN  /* a time that is not known */
#define TQ9_MEDIA_AGAIN (-11)          /* the decoder needs another packet before it gives a frame */
#define TQ9_MEDIA_EOF (-541478725)     /* end of the file, or a drained decoder has nothing more */
#define TQ9_MEDIA_UNKNOWN (-1313558101) /* FFmpeg's "unknown error": a failure no other code describes */
#define TQ9_MEDIA_EXIT (-1414092869)    /* FFmpeg's "immediate exit requested": stopped by the caller */

typedef struct Tq9MediaFile Tq9MediaFile;     /* an open file, its decoders and their output buffers */
typedef struct Tq9MediaPacket Tq9MediaPacket; /* one compressed packet, reference-counted payload */

enum {
    TQ9_MEDIA_VIDEO = 0, /* a video stream (not an attached picture) */
    TQ9_MEDIA_AUDIO = 1,
    TQ9_MEDIA_OTHER = 2  /* subtitles, data, attachments, cover art: never decoded here */
};

typedef struct Tq9MediaStreamInfo {
    int type;             /* TQ9_MEDIA_VIDEO, TQ9_MEDIA_AUDIO or TQ9_MEDIA_OTHER */
    int codecId;          /* the contract's numbering, as Transcode's kind 11 (0 unknown, -1 other kinds) */
    int timeBaseNum;      /* the stream's time base */
    int timeBaseDen;
    int width;            /* video: the picture size the decoder delivers */
    int height;
    int sampleRate;       /* audio: the rate and channel count the decoder delivers */
    int channels;
    int64_t bitRate;      /* bit/s, 0 when unknown */
    int64_t durationUs;   /* TQ9_MEDIA_TIME_NONE when unknown */
    int sampleAspectNum;  /* video: the shape of a pixel as the file declares it (container, else codec), */
    int sampleAspectDen;  /* as Transcode's kind 5; 0/0 when unknown */
    int frameRateNum;     /* video: the nominal frame rate (30000/1001 for NTSC), as the ffmpeg tool guesses */
    int frameRateDen;     /* it from the stream's rates; 0/0 when unknown */
} Tq9MediaStreamInfo;

typedef struct Tq9MediaPicture {
    const uint8_t* planes[3]; /* Y, U (Cb), V (Cr) of planar YUV 4:2:0 */
    int lineSizes[3];         /* bytes from one row of a plane to the next */
    int width;                /* the stream's announced size: U and V are (width+1)/2 x (height+1)/2 */
    int height;
    int64_t ptsUs;            /* TQ9_MEDIA_TIME_NONE when unknown */
    int64_t durationUs;       /* 0 when unknown */
} Tq9MediaPicture;

typedef struct Tq9MediaSound {
    const int16_t* samples; /* interleaved signed 16-bit, frames * channels values */
    int frames;             /* samples per channel */
    int channels;           /* the stream's announced channel count */
    int sampleRate;         /* the stream's announced rate */
    int64_t ptsUs;          /* TQ9_MEDIA_TIME_NONE when unknown */
} Tq9MediaSound;

/* Opens a file and reads its stream information. *file is set only on success. */
TQ9MEDIA_API int Tq9MediaOpen(const char* pathUtf8, Tq9MediaFile** file);
/* Closes the decoders and the file and frees everything it owns (not packets handed out). Null is allowed. */
TQ9MEDIA_API void Tq9MediaClose(Tq9MediaFile* file);

TQ9MEDIA_API int Tq9MediaStreamCount(const Tq9MediaFile* file);
/* Container index 0 .. count-1 (packets carry the same index). */
TQ9MEDIA_API int Tq9MediaGetStreamInfo(const Tq9MediaFile* file, int stream, Tq9MediaStreamInfo* info);
/* The file's duration in microseconds, TQ9_MEDIA_TIME_NONE when unknown. */
TQ9MEDIA_API int64_t Tq9MediaDurationUs(const Tq9MediaFile* file);
/* First audio or video stream of that type (as Transcode chooses), or -1. */
TQ9MEDIA_API int Tq9MediaFindStream(const Tq9MediaFile* file, int type);

/* Finds and opens the decoder of an audio or video stream. Opening it again is a no-op. Video decodes on
 * the caller's thread when the writer's encoders have 3 CPUs or fewer (they keep those busy), else with
 * frame and slice threads. */
TQ9MEDIA_API int Tq9MediaOpenDecoder(Tq9MediaFile* file, int stream);

/* Reads the next packet, of any stream (the caller drops what it does not want). *packet is set only on
 * success. TQ9_MEDIA_EOF at the end; another negative code on a damaged file. */
TQ9MEDIA_API int Tq9MediaReadPacket(Tq9MediaFile* file, Tq9MediaPacket** packet);
TQ9MEDIA_API int Tq9MediaPacketStream(const Tq9MediaPacket* packet);
TQ9MEDIA_API int64_t Tq9MediaPacketPtsUs(const Tq9MediaPacket* packet);      /* TQ9_MEDIA_TIME_NONE if none */
TQ9MEDIA_API int64_t Tq9MediaPacketDtsUs(const Tq9MediaPacket* packet);      /* TQ9_MEDIA_TIME_NONE if none */
TQ9MEDIA_API int64_t Tq9MediaPacketDurationUs(const Tq9MediaPacket* packet); /* 0 if unknown */
TQ9MEDIA_API int Tq9MediaPacketIsKey(const Tq9MediaPacket* packet);
TQ9MEDIA_API const uint8_t* Tq9MediaPacketData(const Tq9MediaPacket* packet);
TQ9MEDIA_API int Tq9MediaPacketSize(const Tq9MediaPacket* packet);
TQ9MEDIA_API void Tq9MediaPacketFree(Tq9MediaPacket* packet); /* null is allowed */

/* av_rescale_q to microseconds: value in units of num/den seconds; TQ9_MEDIA_TIME_NONE stays so. */
TQ9MEDIA_API int64_t Tq9MediaRescaleToUs(int64_t value, int num, int den);

/* Hands a packet to its stream's decoder (the packet stays the caller's). A null packet with a stream
 * index drains that decoder: Tq9MediaSendEnd. Then take the frames with Receive until TQ9_MEDIA_AGAIN. */
TQ9MEDIA_API int Tq9MediaSendPacket(Tq9MediaFile* file, const Tq9MediaPacket* packet);
TQ9MEDIA_API int Tq9MediaSendEnd(Tq9MediaFile* file, int stream);

/* The next decoded picture of a video stream as planar YUV 4:2:0 at the announced size (converted with
 * swscale when the decoder delivers another format or size). TQ9_MEDIA_AGAIN: send another packet;
 * TQ9_MEDIA_EOF: drained. The planes stay valid until the next Receive on that stream or Close. */
TQ9MEDIA_API int Tq9MediaReceivePicture(Tq9MediaFile* file, int stream, Tq9MediaPicture* picture);

/* The next decoded sound of an audio stream as interleaved signed 16-bit at the announced rate and
 * channel count (converted with swresample). Same results and lifetime as Tq9MediaReceivePicture. */
TQ9MEDIA_API int Tq9MediaReceiveSound(Tq9MediaFile* file, int stream, Tq9MediaSound* sound);

/* ------------------------------------------------------------------------------------------------------
 * Writer API: encodes pictures and sounds into a WMV file (ASF container, wmv2 video, wmav2 audio), for the
 * WMV export pipeline.
 *
 * Threads: Tq9WriterVideo and Tq9WriterAudio may be called at the same time from two threads (one per
 * stream) and the writer serialises the container. Sounds are encoded on their caller's thread; pictures are
 * copied and coded in groups of 12 on one encoder thread per CPU the opener may run on (its affinity, so
 * taskset limits it; at most 8; TQ9_VIDEO_ENCODERS=N sets the number), and a picture call waits while
 * enough pictures wait for them. Open, Close and Abort are not called while either of them runs.
 *
 * Results: 0 on success, a negative FFmpeg error code on failure.
 * ------------------------------------------------------------------------------------------------------ */

typedef struct Tq9MediaWriter Tq9MediaWriter;

typedef struct Tq9WriterSettings {
    int width;              /* video frame size; pictures are planar YUV 4:2:0 of this size */
    int height;
    int frameRateNum;       /* the source's nominal frame rate (a hint for the encoder's time base) */
    int frameRateDen;
    int64_t videoBitRate;   /* bit/s */
    int sampleRate;         /* audio in the file: this rate and channel count */
    int channels;
    int64_t audioBitRate;   /* bit/s */
    int inputSampleRate;    /* the samples given to Tq9WriterAudio: interleaved signed 16-bit at this rate and */
    int inputChannels;      /* channel count (up to 8), resampled to the file's; 0: the file's own */
    int sampleAspectNum;    /* the shape of a pixel, declared in the file so that players show the picture's */
    int sampleAspectDen;    /* display aspect (8:9 for 4:3 at 720x480); 0: not declared (square) */
} Tq9WriterSettings;

/* Creates the file (replacing what is there) and opens both encoders. *writer is set only on success. */
TQ9MEDIA_API int Tq9WriterOpen(const char* pathUtf8, const Tq9WriterSettings* settings, Tq9MediaWriter** writer);
/* One picture at its presentation time (microseconds from the start). The file starts at 0 with the sound
 * encoder's priming frame (2048 samples), and both streams are stored that much later than given. */
TQ9MEDIA_API int Tq9WriterVideo(Tq9MediaWriter* writer, const uint8_t* const planes[3], const int lineSizes[3],
                                int64_t ptsUs);
/* Interleaved samples, frames per channel, the first at ptsUs; any count (the writer re-frames them). */
TQ9MEDIA_API int Tq9WriterAudio(Tq9MediaWriter* writer, const int16_t* samples, int frames, int64_t ptsUs);
/* Drains both encoders, writes the index and closes the file; frees the writer whatever the result. On a
 * failure the partly written file is removed. */
TQ9MEDIA_API int Tq9WriterClose(Tq9MediaWriter* writer);
/* Stops at once: frees the writer and removes the partly written file. Null is allowed. */
TQ9MEDIA_API void Tq9WriterAbort(Tq9MediaWriter* writer);

#ifdef __cplusplus
}
#endif

#endif
