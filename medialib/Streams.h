// Internal to the media library: which container streams the library reports and uses, and the contract's
// codec numbering. Shared by the probe, the transcoder and the decoding API so that all three agree.
#pragma once

#include "medialib/Ffmpeg.h"
#include "medialib/Options.h"

#include <chrono>

namespace tq9media {

class InputGuard;
class Reporter;

// Audio and video streams only; an attached picture (cover art) is not a video stream.
bool IsMediaStream(const AVStream* st);

// The contract's codec identifier for a stream: video codecs non-zero and below 0x10000 (MPEG-4 Part 2 is
// 13), audio codecs 0x10000 and above (MP3 is 0x15001); 0 for an unknown codec; other kinds -1.
int ContractCodecId(const AVCodecParameters* par);
// The FFmpeg codec a contract identifier stands for (ContractCodecId read back); AV_CODEC_ID_NONE for 0 or
// a number that names none.
AVCodecID CodecOfContractId(uint32_t id);

// Container indices of the streams a conversion uses: the first media video stream and the first media
// audio stream (-1 when there is none). The same rule the converter applies to the probe's numbering.
struct StreamChoice {
    int video = -1;
    int audio = -1;
};
StreamChoice ChooseStreams(const AVFormatContext* ctx);

// The file's start (microseconds, 0 when unknown) and duration (microseconds, 0 when unknown: the longest
// stream is used when the container gives none).
int64_t StartTimeUs(const AVFormatContext* ctx);
int64_t DurationUs(const AVFormatContext* ctx);
// The duration a conversion can rely on: DurationUs, except that when the container only gave an estimate
// from the bit rate (ADTS AAC, MP3 without a VBR header: off by many times for variable rates) the file is
// read through once, packets only, in a context of its own (ctx keeps its reading position). The reading
// is bounded (kDurationScanTime, kDurationScanBytes; memory flat, see InputGuard) and hears a stop
// (throws as Reporter::CheckStop); beyond the bounds the estimate stands and estimated is set.
constexpr std::chrono::milliseconds kDurationScanTime{1000};
constexpr int64_t kDurationScanBytes = int64_t(1) << 30;
int64_t SourceDurationUs(const AVFormatContext* ctx, const InputSpec& input, Reporter& reporter, bool& estimated);

// Degrees (0, 90, 180, 270) a video stream's pictures are turned clockwise for display (its display matrix).
int DisplayRotation(const AVStream* st);

// Opens a decoder for the stream with automatic frame and slice threads, as the ffmpeg tool does, or with
// that many threads.
CodecContextPtr OpenDecoder(const AVStream* st, int threads = 0);

// Opens an input file (UTF-8 path, never a protocol; the file protocol only) and reads its stream
// information. format: "-f" name or empty. guard (when given, outliving the context) bounds every read.
InputContextPtr OpenInput(const std::string& path, const std::string& format, InputGuard* guard = nullptr);

} // namespace tq9media
