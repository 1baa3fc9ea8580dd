// Every argument vector the converter builds, read by the media library's own option parser: the plan it
// yields must be the conversion the converter meant (frame, where the picture sits in it, rate, bit rates,
// passes, seek). The vectors are caught with the fake library, so a change on either side that makes them
// disagree fails here rather than on a device.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "media/ConverterSources.h"
#include "media/FFMpegConverter.h"
#include "medialib/Ffmpeg.h"
#include "medialib/Options.h"
#include "support/FakeLibrary.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

using namespace tq9;
using namespace tq9test;
using tq9test::ArgView;
using tq9test::FakeLibrary;

namespace {

// Where the picture ends up in the frame the library's filter chain writes.
struct Placed {
    int frameWidth = 0, frameHeight = 0;
    int left = 0, top = 0, width = 0, height = 0;
};

// Runs one white picture of the plan's "-s" size through the plan's "-vf" with FFmpeg's filters, as the
// library does after scaling, and finds the white box in what comes out.
Placed PlacePicture(const tq9media::OutputSpec& out)
{
    Placed placed{out.width, out.height, 0, 0, out.width, out.height};
    if (out.videoFilter.empty())
        return placed;
    tq9media::FilterGraphPtr graph(avfilter_graph_alloc());
    AVFilterContext* src = nullptr;
    AVFilterContext* sink = nullptr;
    const std::string args = "video_size=" + std::to_string(out.width) + "x" + std::to_string(out.height) +
                             ":pix_fmt=" + std::to_string(AV_PIX_FMT_YUV420P) + ":time_base=1/25:pixel_aspect=1/1";
    EXPECT_GE(avfilter_graph_create_filter(&src, avfilter_get_by_name("buffer"), "in", args.c_str(), nullptr,
                                           graph.get()), 0);
    EXPECT_GE(avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                           graph.get()), 0);
    tq9media::FilterInOutPtr outputs(avfilter_inout_alloc());
    tq9media::FilterInOutPtr inputs(avfilter_inout_alloc());
    outputs->name = av_strdup("in");
    outputs->filter_ctx = src;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = sink;
    AVFilterInOut* in = inputs.release();
    AVFilterInOut* outs = outputs.release();
    const int parsed = avfilter_graph_parse_ptr(graph.get(), out.videoFilter.c_str(), &in, &outs, nullptr);
    avfilter_inout_free(&in);
    avfilter_inout_free(&outs);
    if (parsed < 0 || avfilter_graph_config(graph.get(), nullptr) < 0) {
        ADD_FAILURE() << "the library's filters refuse -vf " << out.videoFilter;
        return {};
    }
    tq9media::FramePtr white = tq9media::MakeFrame();
    white->width = out.width;
    white->height = out.height;
    white->format = AV_PIX_FMT_YUV420P;
    white->pts = 0;
    EXPECT_GE(av_frame_get_buffer(white.get(), 0), 0);
    for (int y = 0; y < out.height; ++y)
        std::memset(white->data[0] + y * white->linesize[0], 235, out.width);
    for (int plane = 1; plane < 3; ++plane)
        for (int y = 0; y < (out.height + 1) / 2; ++y)
            std::memset(white->data[plane] + y * white->linesize[plane], 128, (out.width + 1) / 2);
    EXPECT_GE(av_buffersrc_add_frame(src, white.get()), 0);
    EXPECT_GE(av_buffersrc_add_frame(src, nullptr), 0);
    tq9media::FramePtr result = tq9media::MakeFrame();
    if (av_buffersink_get_frame(sink, result.get()) < 0) {
        ADD_FAILURE() << "no picture out of -vf " << out.videoFilter;
        return {};
    }
    placed = Placed{result->width, result->height, result->width, result->height, 0, 0};
    int right = -1, bottom = -1;
    for (int y = 0; y < result->height; ++y) {
        for (int x = 0; x < result->width; ++x) {
            if (result->data[0][y * result->linesize[0] + x] < 128)
                continue;
            placed.left = std::min(placed.left, x);
            placed.top = std::min(placed.top, y);
            right = std::max(right, x);
            bottom = std::max(bottom, y);
        }
    }
    placed.width = right - placed.left + 1;
    placed.height = bottom - placed.top + 1;
    return placed;
}

// The plan the library makes of the vector the converter passed last. The fake's own reading of the
// vector, which the job tests go by, must name the same files.
tq9media::Plan PlanOf(const FakeLibrary& fake)
{
    const auto argv = fake.LastCall();
    std::vector<const char*> raw;
    for (const std::string& word : argv)
        raw.push_back(word.c_str());
    tq9media::Plan plan;
    try {
        plan = tq9media::ParseArguments(static_cast<int>(raw.size()), raw.data());
    } catch (const tq9media::MediaError& e) {
        ADD_FAILURE() << "the library refuses the vector: " << e.what();
        return {};
    }
    const ArgView view = ArgView::Parse(argv);
    EXPECT_TRUE(view.stray.empty());
    EXPECT_EQ(view.IsProbe(), plan.IsProbe());
    EXPECT_EQ(view.output ? view.output->path : "", plan.output.path);
    EXPECT_EQ(view.inputs.size(), plan.inputs.size());
    for (size_t i = 0; i < std::min(view.inputs.size(), plan.inputs.size()); ++i)
        EXPECT_EQ(view.inputs[i].path, plan.inputs[i].path);
    if (view.output && view.output->Has("-s"))
        EXPECT_EQ(view.Out("-s"), std::to_string(plan.output.width) + "x" + std::to_string(plan.output.height));
    return plan;
}

// What every device conversion asks for, whatever the source.
void ExpectDeviceOutput(const tq9media::OutputSpec& out, const std::string& destination)
{
    EXPECT_EQ(out.path, destination);
    EXPECT_EQ(out.format, "mp4");
    EXPECT_EQ(out.videoCodec, "mpeg4");
    EXPECT_EQ(out.videoBitRate, 5000000);
    EXPECT_EQ(out.bitRateTolerance, 1000000);
    EXPECT_EQ(out.codecFlags, "+ildct+ilme");
    EXPECT_EQ(out.topFieldFirst, 1);
    EXPECT_TRUE(out.constantFrameRate);
    EXPECT_EQ(out.audioCodec, "libmp3lame");
    EXPECT_EQ(out.audioBitRate, 128000);
    EXPECT_EQ(out.channels, 2);
    EXPECT_EQ(out.sampleRate, 48000);
    EXPECT_FALSE(out.noAudio);
    EXPECT_FALSE(out.noVideo);
    EXPECT_EQ(out.startUs, 0);
}

} // namespace

TEST(VectorPlan, DeviceConversionsGiveTheFrameRateAndPictureMeant)
{
    struct Case {
        const char* what;
        bool ntsc, letterbox;
        StreamInfo video;
        bool audio;
        int frameHeight;
        AVRational rate;
        Placed picture; // frame and the box the picture fills
    };
    const Case cases[] = {
        {"NTSC 4:3 with sound", true, false, VideoStream(kH264, 640, 480), true, 480, {30000, 1001}, {720, 480, 0, 0, 720, 480}},
        {"PAL 4:3 silent", false, false, VideoStream(kH264, 320, 240), false, 576, {25, 1}, {720, 576, 0, 0, 720, 576}},
        // A 4:2:0 picture starts on an even line: the pad filter puts the 405 lines asked at line 37 (85 on PAL)
        // one line higher.
        {"NTSC 16:9 letterboxed", true, true, VideoStream(kH264, 1280, 720), true, 480, {30000, 1001}, {720, 480, 0, 36, 720, 405}},
        {"PAL 16:9 letterboxed", false, true, VideoStream(kH264, 1920, 1080), false, 576, {25, 1}, {720, 576, 0, 84, 720, 405}},
        {"16:9 without letterbox fills the frame", true, false, VideoStream(kH264, 1280, 720), true, 480, {30000, 1001},
         {720, 480, 0, 0, 720, 480}},
        {"turned phone clip pillarboxed", true, false, VideoStream(kH264, 1920, 1080, 0, 0, 90), true, 480, {30000, 1001},
         {720, 480, 208, 0, 302, 480}},
    };
    FakeLibrary fake;
    CFFMpegConverter& converter = CFFMpegConverter::Instance();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const MediaInfo info = SourceWith(c.video, c.audio);
        converter.ConvertToDevice(Settings(c.ntsc, c.letterbox), "/in/src.mov", info, "/out/dst.mp4");
        const tq9media::Plan plan = PlanOf(fake);
        ASSERT_FALSE(plan.IsProbe());
        ASSERT_EQ(plan.inputs.size(), c.audio ? 1u : 2u);
        EXPECT_EQ(plan.inputs[0].path, "/in/src.mov");
        EXPECT_FALSE(plan.inputs[0].silent);
        if (!c.audio)
            EXPECT_TRUE(plan.inputs[1].silent) << "a silent track as long as the video";
        ExpectDeviceOutput(plan.output, "/out/dst.mp4");
        EXPECT_EQ(plan.output.pass, 0);
        EXPECT_EQ(av_cmp_q(plan.output.frameRate, c.rate), 0)
            << plan.output.frameRate.num << "/" << plan.output.frameRate.den;
        const Placed placed = PlacePicture(plan.output);
        EXPECT_EQ(placed.frameWidth, 720);
        EXPECT_EQ(placed.frameHeight, c.frameHeight);
        EXPECT_EQ(placed.left, c.picture.left);
        EXPECT_EQ(placed.top, c.picture.top);
        EXPECT_EQ(placed.width, c.picture.width);
        EXPECT_EQ(placed.height, c.picture.height);
        // The picture stays in the middle whatever its size, give or take a chroma line or column.
        EXPECT_LE(std::abs((placed.frameWidth - placed.left - placed.width) - placed.left), 4);
        EXPECT_LE(std::abs((placed.frameHeight - placed.top - placed.height) - placed.top), 4);
    }
}

TEST(VectorPlan, TwoPassesShareOnePassLogAndTheSamePicture)
{
    FakeLibrary fake;
    CFFMpegConverter& converter = CFFMpegConverter::Instance();
    const MediaInfo info = SourceWith(VideoStream(kH264, 1280, 720));
    tq9media::Plan plans[2];
    for (int pass = 0; pass < 2; ++pass) {
        converter.ConvertToDeviceTwoPass(Settings(false, true), "/in/src.mov", info, "/out/dst.mp4",
                                         "/work/dst-pass.log", pass);
        plans[pass] = PlanOf(fake);
        ExpectDeviceOutput(plans[pass].output, "/out/dst.mp4");
        EXPECT_EQ(plans[pass].output.pass, pass + 1);
        EXPECT_EQ(plans[pass].output.passLogFile, "/work/dst-pass.log") << "exactly the path, no suffix";
    }
    EXPECT_EQ(plans[0].output.width, plans[1].output.width);
    EXPECT_EQ(plans[0].output.height, plans[1].output.height);
    EXPECT_EQ(plans[0].output.videoFilter, plans[1].output.videoFilter);
    EXPECT_EQ(av_cmp_q(plans[0].output.frameRate, plans[1].output.frameRate), 0);
}

TEST(VectorPlan, AudioProbeAndThumbnailVectors)
{
    FakeLibrary fake;
    CFFMpegConverter& converter = CFFMpegConverter::Instance();

    converter.ConvertAudio("/in/song.wav", "/out/song.mp3");
    tq9media::Plan plan = PlanOf(fake);
    ASSERT_EQ(plan.inputs.size(), 1u);
    EXPECT_EQ(plan.inputs[0].path, "/in/song.wav");
    EXPECT_EQ(plan.output.path, "/out/song.mp3");
    EXPECT_EQ(plan.output.format, "mp3");
    EXPECT_EQ(plan.output.audioCodec, "libmp3lame");
    EXPECT_EQ(plan.output.audioBitRate, 128000);
    EXPECT_EQ(plan.output.channels, 2);
    EXPECT_EQ(plan.output.sampleRate, 48000);
    EXPECT_TRUE(plan.output.noVideo);

    MediaInfo probed;
    converter.Probe("/in/clip.mov", probed);
    plan = PlanOf(fake);
    EXPECT_TRUE(plan.IsProbe());
    ASSERT_EQ(plan.inputs.size(), 1u);
    EXPECT_EQ(plan.inputs[0].path, "/in/clip.mov");

    struct Thumb {
        const char* what;
        bool letterbox;
        StreamInfo video;
        int32_t durationMs;
        int64_t startUs;
        Placed picture;
    };
    const Thumb thumbs[] = {
        {"long 4:3 clip: a picture 5 s in", false, VideoStream(kH264, 640, 480), 60000, 5000000, {48, 36, 0, 0, 48, 36}},
        {"short clip: the first picture", false, VideoStream(kH264, 640, 480), 5000, 0, {48, 36, 0, 0, 48, 36}},
        {"16:9 letterboxed", true, VideoStream(kH264, 1280, 720), 60000, 5000000, {48, 36, 0, 4, 48, 27}},
        {"turned clip pillarboxed", false, VideoStream(kH264, 1280, 720, 0, 0, 270), 60000, 5000000, {48, 36, 14, 0, 20, 36}},
    };
    for (const Thumb& t : thumbs) {
        SCOPED_TRACE(t.what);
        converter.ExtractFrame(Settings(true, t.letterbox), "/in/clip.mov", SourceWith(t.video, true, t.durationMs),
                               "/out/clip.bmp");
        plan = PlanOf(fake);
        ASSERT_EQ(plan.inputs.size(), 1u);
        EXPECT_EQ(plan.output.path, "/out/clip.bmp");
        EXPECT_EQ(plan.output.format, "image2");
        EXPECT_EQ(plan.output.videoCodec, "bmp");
        EXPECT_EQ(plan.output.maxVideoFrames, 1);
        EXPECT_TRUE(plan.output.noAudio);
        EXPECT_EQ(plan.output.startUs, t.startUs);
        const Placed placed = PlacePicture(plan.output);
        EXPECT_EQ(placed.frameWidth, t.picture.frameWidth);
        EXPECT_EQ(placed.frameHeight, t.picture.frameHeight);
        EXPECT_EQ(placed.left, t.picture.left);
        EXPECT_EQ(placed.top, t.picture.top);
        EXPECT_EQ(placed.width, t.picture.width);
        EXPECT_EQ(placed.height, t.picture.height);
    }
}
