// The process-wide objects through which the program runs the media library's Transcode: it builds
// the argument vectors for the device's format, runs them on the calling worker thread, records probe
// results, keeps progress for the user interface, and lets the progress dialog stop it.
//
// Every operation returns its ConverterOutcome; what one run learns (its status, the length it wrote,
// whether it outgrew its limit) lives in that run's own context and never in the converter.
//
// CopyFile (the plain chunked copy), GetProgress and RequestStop come from CConverterState.
// Threads and locks: see CConverterState. runLock is held for the whole of Run and CopyFile; the library
// callback runs inside Run on the same thread and takes only stateLock, which guards position, total,
// continueFlag, the output limit and the MediaInfo being filled by a probe.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/ConversionSettings.h"
#include "media/Converter.h"
#include "media/ConverterState.h"
#include "media/MediaInfo.h"
#include "medialib/tq9media.h"

namespace tq9 {

class CFFMpegConverter : public CConverter, public CConverterState {
public:
    // The library entry; tests substitute a fake to capture vectors and script events.
    using TranscodeFunction = int (*)(Tq9PictureMemo* memo, TranscodeCallback callback, void* user, int argc,
                                      const char* const* argv);
    // Installs fn for every later Run (nullptr restores the real library) and returns the previous one.
    static TranscodeFunction SetTranscodeFunction(TranscodeFunction fn);

    // Created on first use (safe when threads race to it), destroyed at process exit.
    static CFFMpegConverter& Instance() { return Lane(0); }
    // A job converts up to kLanes files side by side, each through its own converter; lane 0 is
    // Instance(). The library's runs share no state, so the lanes do not wait for one another.
    static constexpr int kLanes = 2;
    static CFFMpegConverter& Lane(int lane);
    // Asks the running operation of every lane to stop (a job's cancel).
    static void RequestStopAll();

    // The pictures a conversion keeps for the thumbnail of the same source that follows it (see
    // Tq9PictureMemoCreate). Whoever runs both owns one per source and hands it to the conversion and then
    // to ExtractFrame; null (none to keep) when memory is short.
    using PictureMemoPtr = std::unique_ptr<Tq9PictureMemo, void (*)(Tq9PictureMemo*)>;
    static PictureMemoPtr NewPictureMemo() { return {Tq9PictureMemoCreate(), &Tq9PictureMemoFree}; }

    // The device formats' rates in kbit/s, which the import's space check also reads: the video's target
    // and how far its rate control lets the running total pass the target (while its coarsest quantiser
    // suffices), the MP3's constant rate.
    static constexpr int kVideoKbps = 5000;
    static constexpr int kVideoToleranceKbits = 1000;
    static constexpr int kAudioKbps = 128;

    // Runs an argument vector (element 0 empty). info, when given, receives the stream information the
    // library reports; memo, when given, keeps or gives pictures as above. The outcome's status is the one
    // the library reported last (TQ9_MEDIA_UNKNOWN when it reported none).
    ConverterOutcome Run(const std::vector<std::string>& args, MediaInfo* info, Tq9PictureMemo* memo = nullptr);

    // Probes path into info (sets info.path first). Failed() = not readable as media.
    ConverterOutcome Probe(const std::string& path, MediaInfo& info);

    // MPEG-4 Part 2 + MP3 in MP4 at the device's frame size and rate. Fails with TQ9_MEDIA_UNKNOWN without
    // running anything when the source has no video stream.
    ConverterOutcome ConvertToDevice(const ConversionSettings& settings, const std::string& source,
                                     const MediaInfo& info, const std::string& destination,
                                     Tq9PictureMemo* memo = nullptr);
    // One pass of a two-pass conversion: pass 0 writes the statistics to passLog, pass 1 reads them.
    ConverterOutcome ConvertToDeviceTwoPass(const ConversionSettings& settings, const std::string& source,
                                            const MediaInfo& info, const std::string& destination,
                                            const std::string& passLog, int pass, Tq9PictureMemo* memo = nullptr);
    // Audio-only source to MP3.
    ConverterOutcome ConvertAudio(const std::string& source, const std::string& destination);
    // Writes one 48x36 BMP frame (5 s in when the video is longer than 5 s). Fails as ConvertToDevice
    // does when the source has no video stream.
    ConverterOutcome ExtractFrame(const ConversionSettings& settings, const std::string& source,
                                  const MediaInfo& info, const std::string& output, Tq9PictureMemo* memo = nullptr);

    // Stops the following operations once the file at output has grown past bytes (0: no limit), as a
    // stop request does, and their outcome's OutgrewLimit then says so: an import's output that the card
    // could not hold whole is not worth finishing. Called on the job's worker between operations.
    void SetOutputLimit(const std::string& output, uint64_t bytes);

    // The argument vectors the operations above pass, exposed for the jobs' diagnostics and for tests.
    // Each returns false (and leaves args empty) when the source has no usable video stream.
    static bool DeviceArguments(const ConversionSettings& settings, const std::string& source, const MediaInfo& info,
                                std::vector<std::string>& args);
    static bool FrameArguments(const ConversionSettings& settings, const std::string& source, const MediaInfo& info,
                               const std::string& output, std::vector<std::string>& args);

private:
    CFFMpegConverter() = default;
    ~CFFMpegConverter() override = default;

    // The library's callback; user is the run's private context (this converter, the MediaInfo, the
    // outcome being gathered).
    static int OnTranscodeEvent(void* user, int kind, int fileId, int streamId, int64_t value);

    // See SetOutputLimit; under stateLock. The file is measured every kLimitStepMs of output.
    static constexpr int32_t kLimitStepMs = 250;
    std::string limitPath;
    uint64_t limitBytes = 0;
};

} // namespace tq9
