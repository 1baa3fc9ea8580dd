#include <gtest/gtest.h>

#include "jobs/ImportSpaceCheck.h"
#include "support/ScratchMount.h"
#include "support/TestSupport.h"

using namespace tq9;
using namespace tq9test;

namespace {

using Stage = CImportSpaceCheck::Stage;

CTQ9ImportSystemFile record(const fs::path& source, uint32_t kind, const std::string& dest, const fs::path& temp = {})
{
    CTQ9ImportSystemFile r;
    r.flags = FILE_MEDIA | FILE_THUMBNAIL | FILE_MARKER;
    r.kind = kind;
    r.sourcePath = source.string();
    r.destMediaPath = dest;
    r.tempMediaPath = temp.string();
    return r;
}

// Videos that declare their length with a picture a minute or an hour, so they are made in a moment.
fs::path longVideo(const std::string& name, const char* spec)
{
    return SynthMedia(name, {"-f", "lavfi", "-i", spec, "-c:v", "libx264"});
}

} // namespace

TEST(ImportSpaceCheck, OnlyAVideoOverFatsLargestFileEvenAtItsLeastIsRefusedAndExfatHasNone)
{
    // 2 h: 4.5 GB at the encoder's ceiling, 115 MB of sound; 75 h: 4.32 GB of sound alone.
    const std::vector<CTQ9ImportSystemFile> records = {
        record(longVideo("space-2h.mov", "color=size=16x16:rate=1/60:duration=7200"), KIND_VIDEO, "a.mp4"),
        record(longVideo("space-75h.mov", "color=size=16x16:rate=1/3600:duration=270000"), KIND_VIDEO, "b.mp4"),
    };
    std::string why;
    auto fat = ScratchMount::FatImage(4, why);
    if (!fat)
        GTEST_SKIP() << why;
    CImportSpaceCheck::ResultT result = CImportSpaceCheck::Check(fat->Path().string(), records, ConversionSettings());
    EXPECT_EQ(result.tooLarge, std::vector<size_t>{1});
    EXPECT_EQ(result.noRoom, std::vector<size_t>{0}) << "its sound alone needs more than the 4 MB card";

    auto exfat = ScratchMount::ExfatImage(4, why);
    if (!exfat)
        GTEST_SKIP() << why;
    result = CImportSpaceCheck::Check(exfat->Path().string(), records, ConversionSettings());
    EXPECT_TRUE(result.tooLarge.empty());
    EXPECT_EQ(result.noRoom, (std::vector<size_t>{0, 1}));
}

TEST(ImportSpaceCheck, AVideosBoundLeavesRoomForTheRecordsBeforeItAndItsOwnSidecars)
{
    std::string why;
    auto card = ScratchMount::Tmpfs("1m", why);
    if (!card)
        GTEST_SKIP() << why;
    TempDir work;
    WriteFile(work / "a.mp4", std::string(100000, 'a'));
    WriteFile(work / "b.mp4", std::string(900000, 'b'));
    const fs::path tone = SynthMedia("space-tone3.wav", {"-f", "lavfi", "-i", "sine=duration=3"});
    std::vector<CTQ9ImportSystemFile> records = {
        record("a.mov", KIND_VIDEO, "a.mp4", work / "a.mp4"), // converted: its real 100,000 bytes
        record("b.mov", KIND_VIDEO, "b.mp4", work / "b.mp4"), // failed: takes nothing
        record(tone, KIND_AUDIO, "c.mp3"),                    // still to run: its 48,000 bytes of sound at least
        record("d.mov", KIND_VIDEO, "d.mp4"),
    };
    const std::vector<Stage> before = {Stage::Converted, Stage::Failed, Stage::Pending};
    const uint64_t free = fs::space(card->Path()).available;
    // In 4 KiB blocks: a 25, c 12, and 2 + 1 for each record's thumbnail and marker.
    const uint64_t taken = (25 + 12 + 3 * 3) * 4096;
    ASSERT_GT(free, taken);

    CImportSpaceCheck::BoundT bound = CImportSpaceCheck::OutputBound(card->Path().string(), records, before, {});
    EXPECT_EQ(bound.bytes, free - taken);
    EXPECT_FALSE(bound.largestFile);

    // A working folder on the card's own file system: a's files have taken their room there already.
    fs::copy_file(work / "a.mp4", card->Path() / "a.mp4");
    records[0].tempMediaPath = (card->Path() / "a.mp4").string();
    bound = CImportSpaceCheck::OutputBound(card->Path().string(), records, before, {});
    const uint64_t room = fs::space(card->Path()).available - (12 + 2 * 3) * 4096;
    EXPECT_EQ(bound.bytes, room);

    WriteFile(card->Path() / "filler", std::string(room + 100, '\0'));
    bound = CImportSpaceCheck::OutputBound(card->Path().string(), records, before, {});
    EXPECT_EQ(bound.bytes, 0u) << "no room at all";
}
