// A thumbnail right after the conversion of the same file starts from the picture the conversion kept in
// the memo handed to both, instead of decoding the source again, and is the same as one decoded afresh.
#include "MediaLibTestSupport.h"

#include <gtest/gtest.h>

using namespace tq9test;

namespace {

struct Thumbnail {
    std::string bytes;
    size_t positions = 0; // one a packet read: shows whether the source was decoded again
};

using Memo = std::unique_ptr<Tq9PictureMemo, void (*)(Tq9PictureMemo*)>;

Memo NewMemo()
{
    return {Tq9PictureMemoCreate(), &Tq9PictureMemoFree};
}

Thumbnail Take(const fs::path& src, const fs::path& out, bool seek5, Tq9PictureMemo* memo)
{
    TranscodeRun run = RunTranscode(FrameArgs(src, out, false, seek5), {}, memo);
    EXPECT_EQ(run.status, 0);
    return {ReadFile(out), run.Of(TQ9_EVENT_POSITION).size()};
}

// Every picture its own grey level, B-frames and one keyframe: a neighbour would show.
fs::path GreyRamp(const fs::path& dir)
{
    const fs::path src = dir / "ramp.mp4";
    fs::copy_file(SynthMedia("ml-grey-ramp.mp4",
                      {"-f", "lavfi", "-i", "color=c=black:s=160x120:r=25:d=8,format=gray,geq=lum='mod(N*7\\,256)'",
                          "-pix_fmt", "yuv420p", "-c:v", "libx264", "-g", "250", "-bf", "3", "-crf", "10", "-preset",
                          "veryfast"}),
        src);
    return src;
}

} // namespace

TEST(ThumbnailAfterConversion, UsesTheKeptPictureOnlyForTheUnchangedFile)
{
    TempDir tmp;
    const fs::path src = GreyRamp(tmp.Path());
    const Memo memo = NewMemo();
    const Thumbnail freshAt5 = Take(src, tmp / "a.bmp", true, memo.get());
    ASSERT_EQ(freshAt5.bytes.size(), 54u + 48 * 3 * 36);
    EXPECT_NEAR(static_cast<uint8_t>(freshAt5.bytes[54 + 144 * 18 + 72]), 106, 3); // picture 125

    // A recording of up to 5 s: one pass, then its first picture.
    const fs::path shortSrc = tmp / "short.mp4";
    fs::copy_file(SynthVideoOnly(), shortSrc);
    const Thumbnail freshFirst = Take(shortSrc, tmp / "b.bmp", false, memo.get());
    ASSERT_EQ(RunTranscode(DeviceArgs(shortSrc, tmp / "out.mp4", DeviceOptions().NoAudio()), {}, memo.get()).status, 0);
    EXPECT_EQ(Take(shortSrc, tmp / "c.bmp", false, memo.get()).bytes, freshFirst.bytes);

    // Two passes, then the picture at 5 s.
    const fs::path log = tmp / "p.log";
    ASSERT_EQ(RunTranscode(DeviceArgs(src, tmp / "out.mp4", DeviceOptions().Pass(1, log.string())), {}, memo.get()).status, 0);
    ASSERT_EQ(RunTranscode(DeviceArgs(src, tmp / "out.mp4", DeviceOptions().Pass(2, log.string())), {}, memo.get()).status, 0);
    const Thumbnail keptAt5 = Take(src, tmp / "d.bmp", true, memo.get());
    EXPECT_EQ(keptAt5.bytes, freshAt5.bytes);
    EXPECT_LT(keptAt5.positions, 5u);
    EXPECT_GT(freshAt5.positions, 50u);
    // Taken once: another thumbnail decodes again.
    EXPECT_GT(Take(src, tmp / "e.bmp", true, memo.get()).positions, 50u);

    // The file changed since the conversion (here only its time): decoded again.
    ASSERT_EQ(RunTranscode(DeviceArgs(src, tmp / "out.mp4", DeviceOptions()), {}, memo.get()).status, 0);
    fs::last_write_time(src, fs::last_write_time(src) + std::chrono::seconds(2));
    const Thumbnail changed = Take(src, tmp / "f.bmp", true, memo.get());
    EXPECT_GT(changed.positions, 50u);
    EXPECT_EQ(changed.bytes, freshAt5.bytes);
}

TEST(ThumbnailAfterConversion, OnlyTheMemoHandedOverIsUsedAndOnlyForItsFile)
{
    TempDir tmp;
    const fs::path src = GreyRamp(tmp.Path());
    const fs::path twin = tmp / "twin.mp4"; // the same bytes in another file
    fs::copy_file(src, twin);
    const Memo memo = NewMemo(), other = NewMemo();
    ASSERT_EQ(RunTranscode(DeviceArgs(src, tmp / "out.mp4", DeviceOptions()), {}, memo.get()).status, 0);

    // Nothing is shared between runs: no memo, or another one, decodes again.
    EXPECT_GT(Take(src, tmp / "a.bmp", true, nullptr).positions, 50u);
    EXPECT_GT(Take(src, tmp / "b.bmp", true, other.get()).positions, 50u);
    // The memo of one file is stale for another, and stays good for its own.
    const Thumbnail ofTwin = Take(twin, tmp / "c.bmp", true, memo.get());
    EXPECT_GT(ofTwin.positions, 50u);
    const Thumbnail kept = Take(src, tmp / "d.bmp", true, memo.get());
    EXPECT_LT(kept.positions, 5u);
    EXPECT_EQ(kept.bytes, ofTwin.bytes);
}
