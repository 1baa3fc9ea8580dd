#include "media/FFMpegConverter.h"

#include <atomic>
#include <exception>

#include "media/MediaInfo.h"

namespace tq9 {

namespace {

std::atomic<CFFMpegConverter::TranscodeFunction> g_transcode{&::Transcode};

// What the library callback needs: the converter whose state it updates and the record a probe fills.
struct CallbackContext {
    CFFMpegConverter* converter;
    MediaInfo* info;
};

struct FrameGeometry {
    int height;
    const char* rate;
};

FrameGeometry Geometry(const ConversionSettings& settings)
{
    // The rate text is "%.02f" of 29.97 or 25, written out.
    return settings.NTSC ? FrameGeometry{480, "29.97"} : FrameGeometry{576, "25.00"};
}

bool IsSixteenByNine(const CFFMpegConverter::StreamInfo& video)
{
    if (video.darNum != 0)
        return video.darNum == 16 && video.darDen == 9;
    return video.width / 16 == video.height / 9;
}

std::string Size(int width, int height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

std::string PadFilter(int width, int height, int top)
{
    return "pad=" + std::to_string(width) + ":" + std::to_string(height) + ":0:" + std::to_string(top) + ":black";
}

// The video entry the conversions use, or nullptr when there is none they can use.
const CFFMpegConverter::StreamInfo* UsableVideo(const MediaInfo& info)
{
    const CFFMpegConverter::StreamInfo* video = info.VideoStream();
    return video && video->codecId != 0 ? video : nullptr;
}

} // namespace

CFFMpegConverter::TranscodeFunction CFFMpegConverter::SetTranscodeFunction(TranscodeFunction fn)
{
    return g_transcode.exchange(fn ? fn : &::Transcode);
}

CFFMpegConverter& CFFMpegConverter::Instance()
{
    static CFFMpegConverter instance;
    return instance;
}

int CFFMpegConverter::Run(const std::vector<std::string>& args, MediaInfo* info)
{
    std::lock_guard<std::mutex> run(runLock);
    BeginOperation();

    // Paths are UTF-8 end to end, so every name the file system allows reaches the library unchanged.
    std::vector<const char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    argv.push_back(nullptr);

    CallbackContext context{this, info};
    const TranscodeFunction transcode = g_transcode.load();
    return transcode(&CFFMpegConverter::OnTranscodeEvent, &context, static_cast<int>(args.size()), argv.data());
}

int CFFMpegConverter::OnTranscodeEvent(void* user, int kind, int /*fileId*/, int streamId, int64_t value)
{
    auto* context = static_cast<CallbackContext*>(user);
    CFFMpegConverter& self = *context->converter;
    std::lock_guard<std::mutex> lock(self.stateLock);
    const int answer = self.continueFlag != 0 ? 0 : -1;
    const auto low = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
    switch (kind) {
    case TQ9_EVENT_STATUS:
        self.result = low;
        break;
    case TQ9_EVENT_DURATION:
        self.total = low;
        break;
    case TQ9_EVENT_POSITION:
        self.position = low;
        break;
    default:
        break;
    }
    if (context->info) {
        // Nothing may unwind through the library's C frames; a record that cannot grow stays as it was.
        try {
            context->info->Record(kind, streamId, value);
        } catch (const std::exception&) {
        }
    }
    return answer;
}

int CFFMpegConverter::Probe(const std::string& path, MediaInfo& info)
{
    info.path = path;
    return Run({"", "-i", path}, &info);
}

int CFFMpegConverter::FailNoVideo()
{
    std::lock_guard<std::mutex> run(runLock);
    std::lock_guard<std::mutex> lock(stateLock);
    result = kConverterFailed;
    return -1;
}

bool CFFMpegConverter::DeviceArguments(const ConversionSettings& settings, const std::string& source,
                                       const MediaInfo& info, std::vector<std::string>& args)
{
    args.clear();
    const StreamInfo* video = UsableVideo(info);
    if (!video)
        return false;
    const FrameGeometry frame = Geometry(settings);
    const bool letterbox = settings.LetterBox != 0 && IsSixteenByNine(*video);

    args = {"", "-i", source};
    if (!info.AudioStream()) // a silent second input, so the device always finds an audio track
        args.insert(args.end(), {"-f", "alaw", "-i", "NUL"});
    args.insert(args.end(), {"-acodec", "libmp3lame", "-ab", "128k", "-ac", "2", "-ar", "48000"});
    args.insert(args.end(), {"-vcodec", "mpeg4", "-flags", "+ildct+ilme", "-top", "1", "-b", "5000k", "-bt",
                             "1000k", "-vsync", "1"});
    args.insert(args.end(), {"-s", letterbox ? Size(720, 405) : Size(720, frame.height), "-r", frame.rate});
    if (letterbox)
        args.insert(args.end(), {"-vf", PadFilter(720, frame.height, (frame.height - 405) >> 1)});
    return true;
}

int CFFMpegConverter::ConvertToDevice(const ConversionSettings& settings, const std::string& source,
                                      const MediaInfo& info, const std::string& destination)
{
    std::vector<std::string> args;
    if (!DeviceArguments(settings, source, info, args))
        return FailNoVideo();
    args.insert(args.end(), {"-f", "mp4", destination});
    return Run(args, nullptr);
}

int CFFMpegConverter::ConvertToDeviceTwoPass(const ConversionSettings& settings, const std::string& source,
                                             const MediaInfo& info, const std::string& destination,
                                             const std::string& passLog, int pass)
{
    std::vector<std::string> args;
    if (!DeviceArguments(settings, source, info, args))
        return FailNoVideo();
    args.insert(args.end(), {"-f", "mp4", "-pass", pass == 0 ? "1" : "2", "-passlogfile", passLog, destination});
    return Run(args, nullptr);
}

int CFFMpegConverter::ConvertAudio(const std::string& source, const std::string& destination)
{
    return Run({"", "-i", source, "-acodec", "libmp3lame", "-ab", "128k", "-ac", "2", "-ar", "48000", "-vn", "-f",
                "mp3", destination},
               nullptr);
}

bool CFFMpegConverter::FrameArguments(const ConversionSettings& settings, const std::string& source,
                                      const MediaInfo& info, const std::string& output,
                                      std::vector<std::string>& args)
{
    args.clear();
    const StreamInfo* video = UsableVideo(info);
    if (!video)
        return false;
    const bool letterbox = settings.LetterBox != 0 && IsSixteenByNine(*video);
    args = {"", "-i", source, "-s", letterbox ? Size(48, 27) : Size(48, 36)};
    if (static_cast<uint32_t>(info.durationMs) > 5000)
        args.insert(args.end(), {"-ss", "5"});
    if (letterbox)
        args.insert(args.end(), {"-vf", PadFilter(48, 36, (36 - 27) >> 1)});
    args.insert(args.end(), {"-vframes", "1", "-an", "-vcodec", "bmp", "-f", "image2", output});
    return true;
}

int CFFMpegConverter::ExtractFrame(const ConversionSettings& settings, const std::string& source,
                                   const MediaInfo& info, const std::string& output)
{
    std::vector<std::string> args;
    if (!FrameArguments(settings, source, info, output, args))
        return FailNoVideo();
    return Run(args, nullptr);
}

} // namespace tq9
