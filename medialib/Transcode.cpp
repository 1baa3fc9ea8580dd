// The C entry point Transcode: parses the argument vector, runs a probe or a conversion, and turns every
// outcome (success, FFmpeg error, stop, exception) into one final status sent as kind 0 and returned.
#include "medialib/tq9media.h"

#include <malloc.h>

#include "medialib/Ffmpeg.h"
#include "medialib/Options.h"
#include "medialib/PictureMemo.h"
#include "medialib/Probe.h"
#include "medialib/Reporter.h"
#include "medialib/Transcoder.h"

using namespace tq9media;

extern "C" TQ9MEDIA_API int Transcode(TranscodeCallback callback, void* user, int argc, const char* const* argv)
{
    return TranscodeWithMemo(nullptr, callback, user, argc, argv);
}

extern "C" TQ9MEDIA_API int TranscodeWithMemo(Tq9PictureMemo* memo, TranscodeCallback callback, void* user, int argc,
                                              const char* const* argv)
{
    InitLibrary();
    Reporter reporter(callback, user);
    int status = 0;
    try {
        const Plan plan = ParseArguments(argc, argv);
        if (plan.IsProbe()) {
            RunProbe(plan.inputs.front(), reporter);
        } else {
            Transcoder transcoder(plan, reporter, memo);
            transcoder.Run();
        }
    } catch (const MediaError& e) {
        status = e.Status();
        DebugLog("Transcode failed (%d): %s", status, e.what());
    } catch (const std::bad_alloc&) {
        status = AVERROR(ENOMEM);
    } catch (const std::exception& e) {
        status = AVERROR_BUG;
        DebugLog("Transcode failed: %s", e.what());
    } catch (...) {
        status = AVERROR_BUG;
    }
    // A run frees tens of megabytes of pictures spread over its threads' heaps; without giving them back
    // the next run of a batch starts above where the last one peaked.
    malloc_trim(0);
    reporter.Status(status);
    return status;
}
