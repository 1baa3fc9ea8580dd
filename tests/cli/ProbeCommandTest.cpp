// tq9 probe on real files through the media library.
#include <gtest/gtest.h>

#include "support/TestSupport.h"

using namespace tq9test;

namespace {

ProcessResult Tq9Probe(const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {BinPath("tq9").string(), "probe"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv);
}

fs::path Mpeg4Mp3()
{
    return SynthMedia("probe-mpeg4-mp3.mp4",
                      {"-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=2", "-f", "lavfi", "-i",
                       "sine=frequency=440:sample_rate=48000:duration=2", "-c:v", "mpeg4", "-c:a", "libmp3lame",
                       "-shortest"});
}

} // namespace

TEST(CliProbe, PrintsFormatDurationStreamsAndVerdict)
{
    const auto file = Mpeg4Mp3();
    const auto r = Tq9Probe({file.string()});
    ASSERT_EQ(0, r.exitCode) << r.err;
    EXPECT_NE(r.out.find("format: mov,mp4"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("duration_ms: 20"), std::string::npos) << r.out; // 2000 give or take a frame
    EXPECT_NE(r.out.find("stream 0: kind=video codec=mpeg4 width=160 height=120"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("stream 1: kind=audio codec=mp3 "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("sample_rate=48000"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("mpeg4_mp3: yes\n"), std::string::npos) << r.out;
}

TEST(CliProbe, NamesTheTurnAPlayerShowsAVideoAt)
{
    // A display matrix that shows the picture turned 90 degrees clockwise, as a phone writes a portrait
    // clip; the muxer's "rotate" tag counts the other way round.
    const auto turned =
        SynthMedia("probe-turned90.mp4", {"-i", Mpeg4Mp3().string(), "-c", "copy", "-metadata:s:v:0", "rotate=270"});
    auto r = Tq9Probe({turned.string()});
    ASSERT_EQ(0, r.exitCode) << r.err;
    EXPECT_NE(r.out.find("stream 0: kind=video codec=mpeg4 width=160 height=120"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" rotation=90\n"), std::string::npos) << r.out;

    r = Tq9Probe({Mpeg4Mp3().string()});
    ASSERT_EQ(0, r.exitCode) << r.err;
    EXPECT_NE(r.out.find("stream 0: kind=video"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" rotation=0\n"), std::string::npos) << r.out;
}

TEST(CliProbe, ErrorsAndUsage)
{
    TempDir t;
    WriteFile(t / "notes.mp4", "plain text, not media");
    auto r = Tq9Probe({(t / "notes.mp4").string()});
    EXPECT_EQ(3, r.exitCode);
    // The reason in words, not a status number.
    EXPECT_NE(r.err.find("cannot be read as media (Invalid data found when processing input)"), std::string::npos)
        << r.err;
    EXPECT_EQ("", r.out);

    r = Tq9Probe({(t / "missing.mp4").string()});
    EXPECT_EQ(3, r.exitCode);
    EXPECT_NE(r.err.find("(No such file or directory)"), std::string::npos) << r.err;

    EXPECT_EQ(2, Tq9Probe({}).exitCode);
    EXPECT_EQ(2, Tq9Probe({"a", "b"}).exitCode);
}
