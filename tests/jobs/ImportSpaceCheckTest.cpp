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

} // namespace

TEST(ImportSpaceCheck, OnlyAVideoOverFatsLargestFileEvenAtItsLeastIsRefusedAndExfatHasNone)
{
    // 2 h: 4.5 GB at the encoder's ceiling, 115 MB of sound; 75 h: 4.32 GB of sound alone. A picture a
    // minute or an hour makes them in a moment.
    std::vector<CTQ9ImportSystemFile> records;
    for (const char* rate : {"60:duration=7200", "3600:duration=270000"})
        records.push_back(record(SynthMedia(std::string("space-") + rate + ".mov",
                                            {"-f", "lavfi", "-i", std::string("color=size=16x16:rate=1/") + rate}),
                                 KIND_VIDEO, "a.mp4"));
    TQ9_MOUNT_OR_SKIP(fat, FatImage(4, why));
    CImportSpaceCheck::ResultT result = CImportSpaceCheck::Check(fat->Path().string(), records, ConversionSettings());
    EXPECT_EQ(result.tooLarge, std::vector<size_t>{1});
    EXPECT_EQ(result.noRoom, std::vector<size_t>{0}) << "its sound alone needs more than the 4 MB card";

    // With more room than that, a video's conversion is bounded by the largest file instead.
    TQ9_MOUNT_OR_SKIP(bigFat, FatImage(5 << 10, why)); // sparse
    const CImportSpaceCheck::BoundT bound =
        CImportSpaceCheck::OutputBound(bigFat->Path().string(), records, {Stage::Failed}, ConversionSettings());
    EXPECT_EQ(bound.bytes, 0xFFFFFFFFu);
    EXPECT_TRUE(bound.largestFile);

    TQ9_MOUNT_OR_SKIP(exfat, ExfatImage(4, why));
    result = CImportSpaceCheck::Check(exfat->Path().string(), records, ConversionSettings());
    EXPECT_TRUE(result.tooLarge.empty());
    EXPECT_EQ(result.noRoom, (std::vector<size_t>{0, 1}));
}

TEST(ImportSpaceCheck, AVideosBoundLeavesRoomForTheRecordsBeforeItAndItsOwnSidecars)
{
    TQ9_MOUNT_OR_SKIP(card, Tmpfs("1m", why));
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
