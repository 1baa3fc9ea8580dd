// Probe runs of Transcode (an input, no output): the information events.
#include "MediaLibTestSupport.h"

#include <gtest/gtest.h>

using namespace tq9test;

// The value layout is what outside callers of the C ABI rely on: high half first, halves taken as signed.
TEST(TranscodeProbe, EventValueLayout)
{
    EXPECT_EQ(Tq9EventPair(1440, 1080), (int64_t{1440} << 32) | 1080);
    EXPECT_EQ(Tq9EventHigh(Tq9EventPair(-1, 7)), -1);
    EXPECT_EQ(Tq9EventLow(Tq9EventPair(7, -1)), -1);
    EXPECT_EQ(Tq9EventHigh(Tq9EventPair(7, -1)), 7);
    EXPECT_EQ(Tq9EventDouble(Tq9EventFromDouble(128000.5)), 128000.5);
    const char* text = "mp4";
    EXPECT_EQ(Tq9EventString(Tq9EventFromString(text)), text);
}

TEST(TranscodeProbe, ReportsFormatDurationAndStreams)
{
    TranscodeRun run = RunTranscode({"-i", SynthVideoAudio().string()});
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.statusEvents, 1);
    EXPECT_EQ(run.events.back().kind, TQ9_EVENT_STATUS);

    const MediaEvent* format = run.Find(TQ9_EVENT_FORMAT_INFO, 0);
    ASSERT_TRUE(format);
    EXPECT_NE(format->text.find("mp4"), std::string::npos);
    const MediaEvent* duration = run.Find(TQ9_EVENT_DURATION, 0);
    ASSERT_TRUE(duration);
    EXPECT_NEAR(Tq9EventLow(duration->value), 7000, 100);

    // Stream 0: H.264 video 320x180; stream 1: AAC audio.
    const MediaEvent* video = run.Find(TQ9_EVENT_STREAM_INFO, 0);
    ASSERT_TRUE(video);
    EXPECT_GT(Tq9EventLow(video->value), 0);
    EXPECT_LT(Tq9EventLow(video->value), 0x10000);
    const MediaEvent* res = run.Find(TQ9_EVENT_RESOLUTION, 0);
    ASSERT_TRUE(res);
    EXPECT_EQ(Tq9EventHigh(res->value), 320);
    EXPECT_EQ(Tq9EventLow(res->value), 180);
    const MediaEvent* dar = run.Find(TQ9_EVENT_DAR, 0);
    ASSERT_TRUE(dar);
    EXPECT_EQ(Tq9EventHigh(dar->value), 16);
    EXPECT_EQ(Tq9EventLow(dar->value), 9);
    const MediaEvent* par = run.Find(TQ9_EVENT_PAR, 0);
    ASSERT_TRUE(par);
    EXPECT_EQ(Tq9EventHigh(par->value), 1);
    EXPECT_EQ(Tq9EventLow(par->value), 1);
    const MediaEvent* vrate = run.Find(TQ9_EVENT_V_BIT_RATE, 0);
    ASSERT_TRUE(vrate);
    EXPECT_GT(Tq9EventDouble(vrate->value), 0.0);

    const MediaEvent* audio = run.Find(TQ9_EVENT_STREAM_INFO, 1);
    ASSERT_TRUE(audio);
    EXPECT_EQ(Tq9EventLow(audio->value), 0x15002); // AAC
    const MediaEvent* rate = run.Find(TQ9_EVENT_SAMPLING_RATE, 1);
    ASSERT_TRUE(rate);
    EXPECT_EQ(Tq9EventLow(rate->value), 44100);
    const MediaEvent* ch = run.Find(TQ9_EVENT_CHANNEL, 1);
    ASSERT_TRUE(ch);
    EXPECT_EQ(Tq9EventLow(ch->value), 1);
    const MediaEvent* arate = run.Find(TQ9_EVENT_A_BIT_RATE, 1);
    ASSERT_TRUE(arate);
    EXPECT_GT(Tq9EventDouble(arate->value), 0.0);
    for (const auto& e : run.events)
        EXPECT_EQ(e.fileId, 0);
}

TEST(TranscodeProbe, Mpeg4AndMp3HaveTheContractsCodecIds)
{
    fs::path file = SynthMedia("ml-mpeg4-mp3.mp4", {"-f", "lavfi", "-i", "testsrc=s=176x144:r=25:d=2", "-f", "lavfi",
                                                      "-i", "sine=d=2", "-c:v", "mpeg4", "-c:a", "libmp3lame"});
    TranscodeRun run = RunTranscode({"-i", file.string()});
    ASSERT_EQ(run.status, 0);
    const MediaEvent* video = run.Find(TQ9_EVENT_STREAM_INFO, 0);
    const MediaEvent* audio = run.Find(TQ9_EVENT_STREAM_INFO, 1);
    ASSERT_TRUE(video && audio);
    EXPECT_EQ(Tq9EventLow(video->value), TQ9_CODEC_MPEG4);
    EXPECT_EQ(Tq9EventLow(audio->value), TQ9_CODEC_MP3);
}

TEST(TranscodeProbe, SubtitleBeforeVideoTakesNoNumber)
{
    TempDir tmp;
    fs::path file = SynthSubtitleFirst();
    ASSERT_EQ(Probe(file, "stream=codec_type", "").substr(0, 19), "codec_type=subtitle");
    TranscodeRun run = RunTranscode({"-i", file.string()});
    ASSERT_EQ(run.status, 0);
    auto infos = run.Of(TQ9_EVENT_STREAM_INFO);
    ASSERT_EQ(infos.size(), 2u);
    EXPECT_EQ(infos[0].streamId, 0);
    EXPECT_GT(Tq9EventLow(infos[0].value), 0);
    EXPECT_LT(Tq9EventLow(infos[0].value), 0x10000); // the video first, not the subtitles
    EXPECT_EQ(infos[1].streamId, 1);
    EXPECT_GE(Tq9EventLow(infos[1].value), 0x10000);
    for (const auto& e : run.events)
        EXPECT_LE(e.streamId, 1);

    // And the conversion takes that video and audio.
    fs::path out = tmp / "out.mp4";
    TranscodeRun conv = RunTranscode(DeviceArgs(file, out, {}));
    ASSERT_EQ(conv.status, 0);
    EXPECT_EQ(ProbeFields(out, "stream=codec_name", "v")["codec_name"], "mpeg4");
    EXPECT_EQ(ProbeFields(out, "stream=codec_name", "a")["codec_name"], "mp3");
}

TEST(TranscodeProbe, CoverArtIsNotAVideoStream)
{
    fs::path file = SynthMedia("ml-cover.mp3", {"-f", "lavfi", "-i", "sine=d=2", "-f", "lavfi", "-i",
                                                  "color=c=red:s=64x64:d=1", "-map", "0", "-map", "1", "-frames:v", "1",
                                                  "-c:a", "libmp3lame", "-c:v", "mjpeg", "-disposition:v:0",
                                                  "attached_pic", "-id3v2_version", "3"});
    TranscodeRun run = RunTranscode({"-i", file.string()});
    ASSERT_EQ(run.status, 0);
    auto infos = run.Of(TQ9_EVENT_STREAM_INFO);
    ASSERT_EQ(infos.size(), 1u);
    EXPECT_EQ(Tq9EventLow(infos[0].value), TQ9_CODEC_MP3);
    EXPECT_FALSE(run.Find(TQ9_EVENT_RESOLUTION, 0));

    // ConvertAudio maps the audio alone: the cover is not copied, and the tag is ID3v2.3.
    TempDir tmp;
    fs::path out = tmp / "a.mp3";
    ASSERT_EQ(RunTranscode(AudioArgs(file, out)).status, 0);
    EXPECT_EQ(Probe(out, "stream=codec_type"), "codec_type=audio\n");
    std::string head = ReadFile(out).substr(0, 4);
    EXPECT_EQ(head, std::string("ID3\x03", 4));
}

TEST(TranscodeProbe, UnknownSampleAspectSendsNoDisplayAspect)
{
    fs::path file = SynthMedia("ml-nosar.mp4", {"-f", "lavfi", "-i", "testsrc=s=854x480:r=25:d=1", "-vf", "setsar=0",
                                                  "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p"});
    TranscodeRun run = RunTranscode({"-i", file.string()});
    ASSERT_EQ(run.status, 0);
    const MediaEvent* res = run.Find(TQ9_EVENT_RESOLUTION, 0);
    ASSERT_TRUE(res);
    EXPECT_EQ(Tq9EventHigh(res->value), 854);
    EXPECT_EQ(Tq9EventLow(res->value), 480);
    // With the aspect unknown the converter judges 16:9 by pixel size (854/16 == 480/9): no DAR event,
    // and the sample aspect says 0:1.
    EXPECT_FALSE(run.Find(TQ9_EVENT_DAR, 0));
    const MediaEvent* par = run.Find(TQ9_EVENT_PAR, 0);
    ASSERT_TRUE(par);
    EXPECT_EQ(Tq9EventHigh(par->value), 0);
}

TEST(TranscodeProbe, AudioOnlyFileHasOneAudioEntry)
{
    TranscodeRun run = RunTranscode({"-i", SynthAudioOnly().string()});
    ASSERT_EQ(run.status, 0);
    auto infos = run.Of(TQ9_EVENT_STREAM_INFO);
    ASSERT_EQ(infos.size(), 1u);
    EXPECT_GE(Tq9EventLow(infos[0].value), 0x10000);
    const MediaEvent* ch = run.Find(TQ9_EVENT_CHANNEL, 0);
    ASSERT_TRUE(ch);
    EXPECT_EQ(Tq9EventLow(ch->value), 2);
}

TEST(TranscodeProbe, UnreadableFilesFail)
{
    TempDir tmp;
    WriteFile(tmp / "empty.mov", "");
    WriteFile(tmp / "text.mov", "This is a text file with a movie's name.\nNothing else.\n");
    std::string media = ReadFile(SynthVideoAudio());
    WriteFile(tmp / "half.mp4", media.substr(0, media.size() / 2)); // the index (moov) is at the end: lost
    for (const char* name : {"empty.mov", "text.mov", "half.mp4", "missing.mp4"}) {
        TranscodeRun run = RunTranscode({"-i", (tmp / name).string()});
        EXPECT_LT(run.status, 0) << name;
        EXPECT_EQ(run.statusEvents, 1) << name;
        EXPECT_EQ(static_cast<int>(run.statusValue), run.status) << name;
        EXPECT_TRUE(run.Of(TQ9_EVENT_STREAM_INFO).empty()) << name;
    }
}

TEST(TranscodeProbe, SubtitleOnlyFileIsNotMedia)
{
    TempDir tmp;
    WriteFile(tmp / "s.srt", "1\n00:00:00,000 --> 00:00:01,000\nhello\n");
    TranscodeRun run = RunTranscode({"-i", (tmp / "s.srt").string()});
    EXPECT_LT(run.status, 0);
}

TEST(TranscodeProbe, StopFromTheCallbackEndsNegative)
{
    TranscodeRun run = RunTranscode({"-i", SynthVideoAudio().string()}, [](const MediaEvent& e) {
        return e.kind == TQ9_EVENT_FORMAT_INFO ? -1 : 0;
    });
    EXPECT_LT(run.status, 0);
    EXPECT_TRUE(run.Of(TQ9_EVENT_STREAM_INFO).empty());
}

TEST(TranscodeProbe, PathWithUnusualCharacters)
{
    TempDir tmp;
    fs::path odd = tmp / "clip: 日本語 %d #1 concat:x.mp4";
    fs::copy_file(SynthVideoOnly(), odd);
    TranscodeRun run = RunTranscode({"-i", odd.string()});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.Of(TQ9_EVENT_STREAM_INFO).size(), 1u);
}
