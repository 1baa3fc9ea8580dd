// The frame-rate edit of a finished WMV: it lands only in a header laid out as FFmpeg's ASF muxer writes it
// for a stream with a language, keeps the file's size, and leaves anything else byte for byte.
#include <gtest/gtest.h>

#include "medialib/AsfFrameRate.h"
#include "support/TestSupport.h"

using namespace tq9test;

namespace {

fs::path Asf(const std::string& name, bool language)
{
    std::vector<std::string> args = {"-f", "lavfi", "-i", "testsrc=size=64x48:rate=30000/1001:duration=0.3",
                                     "-c:v", "wmv2", "-f", "asf"};
    if (language)
        args.insert(args.end() - 2, {"-metadata:s:v", "language=eng"});
    return SynthMedia(name, args);
}

} // namespace

TEST(AsfFrameRate, FillsTheVideoStreamsObjectAndLeavesOtherFilesAlone)
{
    TempDir dir;
    const fs::path tagged = dir / "tagged.wmv";
    fs::copy_file(Asf("asf-tagged.wmv", true), tagged);
    const std::string before = ReadFile(tagged);
    EXPECT_FALSE(tq9media::FillAsfFrameRate(tagged.string(), 2, {30000, 1001})) << "no such stream";
    EXPECT_EQ(ReadFile(tagged), before);
    ASSERT_TRUE(tq9media::FillAsfFrameRate(tagged.string(), 1, {30000, 1001}));
    const std::string after = ReadFile(tagged);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.substr(1000), before.substr(1000)); // the header only
    EXPECT_NE(after.find(std::string("\x63\x17\x05\0\0\0\0\0", 8)), std::string::npos); // 333667 per frame
    const ProcessResult info = RunProcess({"mediainfo", "--Inform=Video;%FrameRate% %Language%", tagged.string()});
    EXPECT_EQ(info.out, "29.970 \n");

    // Without the object, truncated, or not ASF at all: untouched.
    const fs::path plain = dir / "plain.wmv";
    fs::copy_file(Asf("asf-plain.wmv", false), plain);
    const fs::path cut = dir / "cut.wmv";
    WriteFile(cut, before.substr(0, 200));
    const fs::path other = dir / "other.bin";
    WriteFile(other, std::string(4096, 'x'));
    for (const fs::path& file : {plain, cut, other}) {
        const std::string bytes = ReadFile(file);
        EXPECT_FALSE(tq9media::FillAsfFrameRate(file.string(), 1, {25, 1})) << file;
        EXPECT_EQ(ReadFile(file), bytes) << file;
    }
}
