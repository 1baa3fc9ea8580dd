#include "media/FFMpegConverter.h"

#include <algorithm>
#include <atomic>
#include <exception>

#include "media/MediaInfo.h"
#include "platform/FileSystem.h"

namespace tq9 {

namespace {

std::atomic<CFFMpegConverter::TranscodeFunction> g_transcode{&::TranscodeWithMemo};

std::string kbits(int value)
{
    return std::to_string(value) + "k";
}

// What the library callback needs: the converter whose progress it updates, the record a probe fills, and
// what this run learns, which belongs to the run alone.
struct CallbackContext {
    CFFMpegConverter* converter;
    MediaInfo* info;
    ConverterOutcome outcome;
    int32_t limitCheckedAt = 0;
};

// A video operation on a source without a usable video stream, which runs nothing.
ConverterOutcome NoVideo()
{
    return ConverterOutcome{TQ9_MEDIA_UNKNOWN};
}

struct FrameGeometry {
    int height;
    const char* rate;
};

FrameGeometry Geometry(const ConversionSettings& settings)
{
    // The rate text is "%.02f" of 29.97 or 25, written out.
    return settings.NTSC ? FrameGeometry{480, "29.97"} : FrameGeometry{576, "25.00"};
}

// The picture as a viewer shows it: stretched to its display aspect and turned upright.
struct ShownSize {
    double width = 0;
    double height = 0;
};

ShownSize Shown(const StreamInfo& video)
{
    ShownSize shown{static_cast<double>(video.width), static_cast<double>(video.height)};
    if (video.darNum > 0 && video.darDen > 0 && video.height > 0)
        shown.width = static_cast<double>(video.height) * video.darNum / video.darDen;
    if (video.rotation == 90 || video.rotation == 270)
        std::swap(shown.width, shown.height);
    return shown;
}

// 16:9 is judged on the shown picture, so that square pixels (854x480) and anamorphic ones (720x480 shown
// at 16:9) both count. The tolerance is that of whole sixteenths and ninths: 848..863 x 480 qualify.
bool IsSixteenByNine(const StreamInfo& video)
{
    const ShownSize shown = Shown(video);
    if (shown.width < 1 || shown.height < 1)
        return false;
    return static_cast<long>(shown.width) / 16 == static_cast<long>(shown.height) / 9;
}

bool IsPortrait(const StreamInfo& video)
{
    const ShownSize shown = Shown(video);
    return shown.width >= 1 && shown.width < shown.height;
}

std::string Size(int width, int height)
{
    return std::to_string(width) + "x" + std::to_string(height);
}

std::string PadFilter(int width, int height, int left, int top)
{
    return "pad=" + std::to_string(width) + ":" + std::to_string(height) + ":" + std::to_string(left) + ":" +
           std::to_string(top) + ":black";
}

// Where the picture goes in a frame: "-s" and, when it does not fill the frame, the "-vf" pad around it.
struct Placement {
    std::string size;
    std::string pad; // empty: no "-vf"
};

// A portrait picture stands full height in the middle of the frame, as stills do. lineFactor widens square
// pixels to the frame's pixel shape (1.125 on the device's 720-pixel line, 1 for the thumbnail) against
// lineHeight lines; the device frame's width is reckoned against 480 lines for both standards.
Placement Pillarbox(const StreamInfo& video, int frameWidth, int frameHeight, double lineHeight,
                    double lineFactor)
{
    const ShownSize shown = Shown(video);
    int width = static_cast<int>(shown.width * (lineHeight / shown.height) * lineFactor);
    width = std::clamp(width & ~1, 2, frameWidth);
    // An even offset: the padding works on 4:2:0 pictures and would round an odd one down anyway.
    return {Size(width, frameHeight), PadFilter(frameWidth, frameHeight, ((frameWidth - width) >> 1) & ~1, 0)};
}

Placement Letterbox(int frameWidth, int frameHeight, int pictureHeight)
{
    return {Size(frameWidth, pictureHeight), PadFilter(frameWidth, frameHeight, 0, (frameHeight - pictureHeight) >> 1)};
}

// The video entry the conversions use, or nullptr when there is none they can use.
const StreamInfo* UsableVideo(const MediaInfo& info)
{
    const StreamInfo* video = info.VideoStream();
    return video && video->codecId != 0 ? video : nullptr;
}

} // namespace

CFFMpegConverter::TranscodeFunction CFFMpegConverter::SetTranscodeFunction(TranscodeFunction fn)
{
    return g_transcode.exchange(fn ? fn : &::TranscodeWithMemo);
}

CFFMpegConverter& CFFMpegConverter::Lane(int lane)
{
    static CFFMpegConverter lanes[kLanes];
    return lanes[std::clamp(lane, 0, kLanes - 1)];
}

void CFFMpegConverter::RequestStopAll()
{
    for (int lane = 0; lane < kLanes; ++lane)
        Lane(lane).RequestStop();
}

ConverterOutcome CFFMpegConverter::Run(const std::vector<std::string>& args, MediaInfo* info, Tq9PictureMemo* memo)
{
    std::lock_guard<std::mutex> run(runLock);
    BeginOperation();

    // Paths are UTF-8 end to end, so every name the file system allows reaches the library unchanged.
    std::vector<const char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    argv.push_back(nullptr);

    CallbackContext context{this, info, ConverterOutcome{}};
    const TranscodeFunction transcode = g_transcode.load();
    transcode(memo, &CFFMpegConverter::OnTranscodeEvent, &context, static_cast<int>(args.size()), argv.data());
    return context.outcome;
}

int CFFMpegConverter::OnTranscodeEvent(void* user, int kind, int /*fileId*/, int streamId, int64_t value)
{
    auto* context = static_cast<CallbackContext*>(user);
    CFFMpegConverter& self = *context->converter;
    std::lock_guard<std::mutex> lock(self.stateLock);
    const int answer = self.continueFlag ? 0 : -1;
    const int32_t low = Tq9EventLow(value);
    switch (kind) {
    case TQ9_EVENT_STATUS:
        context->outcome.status = low;
        break;
    case TQ9_EVENT_DURATION:
        self.total = low;
        break;
    case TQ9_EVENT_POSITION:
        self.position = low;
        if (self.limitBytes > 0 && low - context->limitCheckedAt >= kLimitStepMs) {
            context->limitCheckedAt = low;
            if (CFileSystem::FileSize(self.limitPath).value_or(0) > self.limitBytes) {
                context->outcome.outgrewLimit = true;
                self.continueFlag = false;
                return -1;
            }
        }
        break;
    case TQ9_EVENT_OUTPUT_LENGTH:
        context->outcome.outputLengthMs = low;
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

ConverterOutcome CFFMpegConverter::Probe(const std::string& path, MediaInfo& info)
{
    info.path = path;
    return Run({"", "-i", path}, &info);
}

void CFFMpegConverter::SetOutputLimit(const std::string& output, uint64_t bytes)
{
    std::lock_guard<std::mutex> lock(stateLock);
    limitPath = output;
    limitBytes = bytes;
}

bool CFFMpegConverter::DeviceArguments(const ConversionSettings& settings, const std::string& source,
                                       const MediaInfo& info, std::vector<std::string>& args)
{
    args.clear();
    const StreamInfo* video = UsableVideo(info);
    if (!video)
        return false;
    const FrameGeometry frame = Geometry(settings);
    Placement placement{Size(720, frame.height), ""};
    if (IsPortrait(*video))
        placement = Pillarbox(*video, 720, frame.height, 480, 1.125);
    else if (settings.LetterBox != 0 && IsSixteenByNine(*video))
        placement = Letterbox(720, frame.height, 405);

    args = {"", "-i", source};
    if (!info.AudioStream()) // a silent second input, so the device always finds an audio track
        args.insert(args.end(), {"-f", "alaw", "-i", "NUL"});
    args.insert(args.end(), {"-acodec", "libmp3lame", "-ab", kbits(kAudioKbps), "-ac", "2", "-ar", "48000"});
    args.insert(args.end(), {"-vcodec", "mpeg4", "-flags", "+ildct+ilme", "-top", "1", "-b", kbits(kVideoKbps),
                             "-bt", kbits(kVideoToleranceKbits), "-vsync", "1"});
    args.insert(args.end(), {"-s", placement.size, "-r", frame.rate});
    if (!placement.pad.empty())
        args.insert(args.end(), {"-vf", placement.pad});
    return true;
}

ConverterOutcome CFFMpegConverter::ConvertToDevice(const ConversionSettings& settings, const std::string& source,
                                                   const MediaInfo& info, const std::string& destination,
                                                   Tq9PictureMemo* memo)
{
    std::vector<std::string> args;
    if (!DeviceArguments(settings, source, info, args))
        return NoVideo();
    args.insert(args.end(), {"-f", "mp4", destination});
    return Run(args, nullptr, memo);
}

ConverterOutcome CFFMpegConverter::ConvertToDeviceTwoPass(const ConversionSettings& settings,
                                                          const std::string& source, const MediaInfo& info,
                                                          const std::string& destination, const std::string& passLog,
                                                          int pass, Tq9PictureMemo* memo)
{
    std::vector<std::string> args;
    if (!DeviceArguments(settings, source, info, args))
        return NoVideo();
    args.insert(args.end(), {"-f", "mp4", "-pass", pass == 0 ? "1" : "2", "-passlogfile", passLog, destination});
    return Run(args, nullptr, memo);
}

ConverterOutcome CFFMpegConverter::ConvertAudio(const std::string& source, const std::string& destination)
{
    return Run({"", "-i", source, "-acodec", "libmp3lame", "-ab", kbits(kAudioKbps), "-ac", "2", "-ar", "48000", "-vn", "-f",
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
    Placement placement{Size(48, 36), ""};
    if (IsPortrait(*video))
        placement = Pillarbox(*video, 48, 36, 36, 1.0);
    else if (settings.LetterBox != 0 && IsSixteenByNine(*video))
        placement = Letterbox(48, 36, 27);
    args = {"", "-i", source, "-s", placement.size};
    if (static_cast<uint32_t>(info.durationMs) > 5000)
        args.insert(args.end(), {"-ss", "5"});
    if (!placement.pad.empty())
        args.insert(args.end(), {"-vf", placement.pad});
    args.insert(args.end(), {"-vframes", "1", "-an", "-vcodec", "bmp", "-f", "image2", output});
    return true;
}

ConverterOutcome CFFMpegConverter::ExtractFrame(const ConversionSettings& settings, const std::string& source,
                                                const MediaInfo& info, const std::string& output,
                                                Tq9PictureMemo* memo)
{
    std::vector<std::string> args;
    if (!FrameArguments(settings, source, info, output, args))
        return NoVideo();
    return Run(args, nullptr, memo);
}

} // namespace tq9
