// Argument errors and output failures: always a negative status, never a half-written file.
#include "MediaLibTestSupport.h"

#include <gtest/gtest.h>

using namespace tq9test;

TEST(TranscodeErrors, UnknownOptionsAndMissingValues)
{
    TempDir tmp;
    const std::string src = SynthVideoOnly().string();
    const std::string out = (tmp / "o.mp4").string();
    const std::vector<std::vector<std::string>> bad = {
        {},                                            // no input
        {"-i"},                                        // missing value
        {"-i", src, "-frobnicate", "1", out},          // unknown option
        {"-i", src, "-b:v", "5000k", out},             // a spelling the converters never use
        {"-i", src, "-s", out},                        // value eaten: then no output, trailing option
        {"-i", src, "-s", "720", "-f", "mp4", out},   // malformed size
        {"-i", src, "-r", "fast", "-f", "mp4", out},  // malformed rate
        {"-i", src, "-ab", "lots", "-f", "mp4", out}, // malformed bit rate
        {"-i", src, "-pass", "3", "-passlogfile", "x", "-f", "mp4", out},
        {"-i", src, "-pass", "1", "-f", "mp4", out},  // no pass log
        {"-i", src, "-f", "mp4", out, "extra.mp4"},   // two outputs
        {"-i", src, "-f", "nosuchformat", out},
        {"-i", src, "-vcodec", "nosuchcodec", "-f", "mp4", out},
        {"-i", src, "-vf", "nosuchfilter", "-f", "mp4", out},
        {"-i", src, "-f", "mp4", out, "-an"},         // option after the output
        {"-ss", "5", "-i", src, "-f", "mp4", out},    // input seek is not among the vectors
        {"-i", src, "-i", src, "-f", "mp4", out},     // only the silent placeholder may be a second input
    };
    for (const auto& args : bad) {
        TranscodeRun run = RunTranscode(args);
        std::string joined;
        for (const auto& a : args)
            joined += a + " ";
        EXPECT_LT(run.status, 0) << joined;
        EXPECT_EQ(run.statusEvents, 1) << joined;
        EXPECT_FALSE(fs::exists(out)) << joined;
    }
    EXPECT_EQ(RunTranscode({"-i", src, "-frobnicate"}).status, -22); // AVERROR(EINVAL)
}

TEST(TranscodeErrors, NullAndEmptyVectors)
{
    EXPECT_LT(Transcode(nullptr, nullptr, 0, nullptr), 0);
    const char* only[] = {""};
    EXPECT_LT(Transcode(nullptr, nullptr, 1, only), 0);
    const char* withNull[] = {"", "-i", nullptr};
    EXPECT_LT(Transcode(nullptr, nullptr, 3, withNull), 0);
}

TEST(TranscodeErrors, UnwritableOutputFails)
{
    TempDir tmp;
    fs::path out = tmp / "no-such-folder" / "o.mp4";
    TranscodeRun run = RunTranscode(DeviceArgs(SynthVideoAudio(), out, {}));
    EXPECT_LT(run.status, 0);
    EXPECT_FALSE(fs::exists(out));
    fs::path dirAsFile = tmp / "dir.mp4";
    fs::create_directory(dirAsFile);
    EXPECT_LT(RunTranscode(DeviceArgs(SynthVideoAudio(), dirAsFile, {})).status, 0);
    EXPECT_TRUE(fs::is_directory(dirAsFile));
}

TEST(TranscodeErrors, FailedOpenRemovesTheFileItCreated)
{
    // The mp4 muxer refuses A-law audio in its header, after the file was created.
    TempDir tmp;
    fs::path out = tmp / "o.mp4";
    std::vector<std::string> args{"-i", SynthVideoAudio().string(), "-acodec", "pcm_alaw", "-vcodec", "mpeg4", "-f",
        "mp4", out.string()};
    TranscodeRun run = RunTranscode(args);
    EXPECT_LT(run.status, 0);
    EXPECT_FALSE(fs::exists(out));

    // A reserved (already existing) file stays, empty.
    WriteFile(out, "");
    EXPECT_LT(RunTranscode(args).status, 0);
    ASSERT_TRUE(fs::exists(out));
    EXPECT_EQ(fs::file_size(out), 0u);
}

TEST(TranscodeErrors, FailureBeforeWritingLeavesAnExistingFileAlone)
{
    TempDir tmp;
    fs::path out = tmp / "keep.mp4";
    WriteFile(out, "precious");
    // The video filter is refused while the run is set up, before the output is opened.
    TranscodeRun run = RunTranscode({"-i", SynthVideoOnly().string(), "-vf", "nosuchfilter", "-f", "mp4", out.string()});
    EXPECT_LT(run.status, 0);
    EXPECT_EQ(ReadFile(out), "precious");
    // An unreadable input: nothing is opened for writing either.
    WriteFile(tmp / "text.mov", "no movie\n");
    EXPECT_LT(RunTranscode(DeviceArgs(tmp / "text.mov", out, {})).status, 0);
    EXPECT_EQ(ReadFile(out), "precious");
}

TEST(TranscodeErrors, OutputOnTopOfTheInputIsRefused)
{
    TempDir tmp;
    fs::path file = tmp / "clip.mp4";
    fs::copy_file(SynthVideoOnly(), file);
    const auto size = fs::file_size(file);
    EXPECT_LT(RunTranscode(DeviceArgs(file, file, DeviceOptions().NoAudio())).status, 0);
    EXPECT_EQ(fs::file_size(file), size);
    EXPECT_EQ(RunTranscode({"-i", file.string()}).status, 0);
}

TEST(TranscodeErrors, PassLogWriteFailureStopsTheRunMidway)
{
    // The pass log is written as pictures are encoded, a few pictures behind the reading: a failure there
    // must end the run early with that error, not at the end nor never.
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    TempDir tmp;
    fs::path out = tmp / "o.mp4";
    TranscodeRun run = RunTranscode(DeviceArgs(SynthVideoAudio(), out, DeviceOptions().Letterbox().Pass(1, "/dev/full")));
    EXPECT_EQ(run.status, -EIO);
    EXPECT_EQ(run.statusEvents, 1);
    EXPECT_FALSE(fs::exists(out));
    ASSERT_FALSE(run.Of(TQ9_EVENT_POSITION).empty());
    EXPECT_LT(run.Of(TQ9_EVENT_POSITION).back().value, 5000); // of 7 s
    EXPECT_TRUE(fs::exists("/dev/full"));
}
