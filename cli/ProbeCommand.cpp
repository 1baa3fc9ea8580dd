// tq9 probe: what the media library finds in a file, as the import and export jobs see it.
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "cli/Command.h"
#include "cli/ShownName.h"
#include "medialib/tq9media.h"
#include "media/FFMpegConverter.h"
#include "media/MediaInfo.h"

namespace tq9::cli {

namespace {

const char* StreamKind(uint32_t codecId)
{
    if (codecId == 0)
        return "unknown";
    return codecId < 0x10000 ? "video" : "audio";
}

int runProbe(const ParsedArgs& args)
{
    const std::string path = args.Positional()[0];
    if (RefusedAsTooLong("probe", path))
        return kExitFailed;
    CFFMpegConverter& converter = CFFMpegConverter::Instance();
    MediaInfo info;
    const ConverterOutcome probed = converter.Probe(path, info);
    if (probed.Failed()) {
        char reason[128];
        PrintError("probe: " + CShownName::Of(path) + ": cannot be read as media (" +
                   Tq9MediaErrorText(probed.status, reason, sizeof reason) + ")");
        return kExitFailed;
    }
    std::ostringstream out;
    out << std::setprecision(15); // bit rates in full, never "5e+06"
    out << "file: " << CShownName::Of(info.path) << "\n"
        << "format: " << info.formatName << "\n"
        << "duration_ms: " << info.durationMs << "\n";
    if (info.durationEstimated)
        out << "duration_estimated: yes (from the bit rate; the file is too long to measure)\n";
    for (size_t i = 0; i < info.streams.size(); ++i) {
        const StreamInfo& s = info.streams[i];
        out << "stream " << i << ": kind=" << StreamKind(s.codecId) << " codec=" << Tq9MediaCodecName(s.codecId)
            << " width=" << s.width << " height=" << s.height << " par=" << s.parNum << ":" << s.parDen
            << " dar=" << s.darNum << ":" << s.darDen << " video_bit_rate=" << s.videoBitRate
            << " audio_bit_rate=" << s.audioBitRate << " sample_rate=" << s.sampleRate << " channels=" << s.channels
            << " rotation=" << s.rotation << "\n";
    }
    out << "mpeg4_mp3: " << (IsMpeg4Mp3(info) ? "yes" : "no") << "\n";
    std::cout << out.str();
    return kExitOk;
}

} // namespace

TQ9_COMMAND(probeCommand, {"probe", "FILE",
                           "show what the media library finds in FILE: format, duration in ms, one line per stream (with the "
                           "clockwise turn a player shows it at), "
                           "and whether it is MPEG-4 video with MP3 audio",
                           {}, 1, 1, runProbe});

} // namespace tq9::cli
