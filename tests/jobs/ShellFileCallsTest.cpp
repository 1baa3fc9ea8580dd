// The callers' side: path lists from records, the import's final move-or-copy, and the deletion of card
// files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "jobs/ImportFixture.h"
#include "jobs/ShellFileCalls.h"
#include "jobs/ShellPathList.h"
#include "platform/FileIo.h"
#include "platform/ShellFileOperation.h"
#include "support/FileOpTestSupport.h"
#include "support/TestSupport.h"

using namespace tq9;
using namespace tq9test;

namespace {

} // namespace

TEST(ShellPathList, PartsInMediaThumbnailMarkerOrderOnlyWhenFlagged)
{
    CTQ9SystemFile video;
    video.flags = FILE_MEDIA | FILE_THUMBNAIL | FILE_MARKER;
    video.path = "/c/v.mp4";
    video.thumbnailPath = "/c/v.thm";
    video.markerPath = "/c/v.mrk";
    CTQ9SystemFile audio; // a marker path without its flag must not be listed
    audio.flags = FILE_MEDIA | FILE_MARKER;
    audio.path = "/c/a.mp3";
    audio.thumbnailPath = "/c/a.thm";
    audio.markerPath = "/c/a.mrk";
    CTQ9SystemFile bare;
    bare.flags = FILE_MEDIA;
    bare.path = "/c/b.mp4";
    bare.thumbnailPath = "/c/b.thm";

    CShellPathList list;
    for (const auto& r : {video, audio, bare})
        list.AppendRecord(r);

    EXPECT_EQ(list.Paths(), (std::vector<std::string> {"/c/v.mp4", "/c/v.thm", "/c/v.mrk", "/c/a.mp3", "/c/a.mrk",
                                                       "/c/b.mp4"}));
}

TEST(ShellImportTransfer, SameFileSystemMovesEverythingOutOfTheTemporaryFolder)
{
    TempDir temp, card;
    const std::vector<CTQ9ImportSystemFile> records = {Converted(temp.Path(), card.Path(), "clip", "mp4", 7),
                                                   Converted(temp.Path(), card.Path(), "song", "mp3", 5),
                                                   Converted(temp.Path(), card.Path(), "photo", "jpg", 3)};

    bool copiedBytes = false;
    const ImportResultT result = CShellFileCalls::MoveOrCopyImport(
        temp.Path(), card.Path(), records, {}, {}, [&](uint64_t, uint64_t) { copiedBytes = true; });

    ASSERT_TRUE(result.Succeeded());
    EXPECT_TRUE(result.moved);
    EXPECT_FALSE(copiedBytes) << "a rename copies nothing";
    EXPECT_TRUE(Names(temp.Path()).empty());
    EXPECT_EQ(Names(card.Path()), (std::vector<std::string> {"clip.mp4", "clip.mrk", "clip.thm", "photo.jpg",
                                                             "photo.thm", "song.mp3", "song.mrk"}));
    EXPECT_EQ(ReadFile(card / "song.mrk"), "song.mrk bytes");
    EXPECT_EQ(result.landed[1][PART_MEDIA], (card / "song.mp3").string());
    EXPECT_EQ(result.landed[1][PART_THUMBNAIL], "");
    for (size_t i = 0; i < records.size(); ++i)
        EXPECT_TRUE(result.RecordLanded(i, records[i].flags));
}

TEST(ShellImportTransfer, AcrossFileSystemsCopiesAndRenamesOnCollision)
{
    OtherFileSystemDir temp;
    if (!temp.Ok())
        GTEST_SKIP() << temp.SkipReason();
    TempDir card;
    WriteFile(card / "clip.mp4", "already on the card");
    const std::vector<CTQ9ImportSystemFile> records = {Converted(temp.Path(), card.Path(), "clip", "mp4", 7)};

    // The copy counts its bytes over all the files, for the progress of the copy onto the card.
    std::vector<std::pair<uint64_t, uint64_t>> heard;
    const ImportResultT result = CShellFileCalls::MoveOrCopyImport(
        temp.Path(), card.Path(), records, {}, {}, [&](uint64_t copied, uint64_t total) { heard.emplace_back(copied, total); });

    ASSERT_TRUE(result.Succeeded());
    EXPECT_FALSE(result.moved);
    uint64_t total = 0;
    for (const char* part : {"clip.mp4", "clip.thm", "clip.mrk"})
        total += fs::file_size(card / ("clip (2)" + fs::path(part).extension().string()));
    ASSERT_GE(heard.size(), 2u);
    EXPECT_EQ(heard.front(), std::make_pair(uint64_t{0}, total));
    EXPECT_EQ(heard.back(), std::make_pair(total, total));
    EXPECT_TRUE(std::is_sorted(heard.begin(), heard.end()));
    EXPECT_EQ(Names(temp.Path()).size(), 3u); // copies leave the working files for the job to delete
    EXPECT_EQ(ReadFile(card / "clip.mp4"), "already on the card");
    EXPECT_EQ(result.landed[0][PART_MEDIA], (card / "clip (2).mp4").string());
    EXPECT_EQ(result.landed[0][PART_MARKER], (card / "clip (2).mrk").string());
    EXPECT_EQ(ReadFile(card / "clip (2).thm"), "clip.thm bytes");
}

TEST(ShellImportTransfer, AFailureReportsWhichPartsLanded)
{
    TempDir temp, card;
    std::vector<CTQ9ImportSystemFile> records = {Converted(temp.Path(), card.Path(), "a", "mp4", 7),
                                             Converted(temp.Path(), card.Path(), "b", "mp4", 7)};
    // The first move of b fails: a is on the card, b is not, and the failure is not taken for success.
    uint64_t callsForA = 0;
    {
        TempDir t2, c2;
        const std::vector<CTQ9ImportSystemFile> one = {Converted(t2.Path(), c2.Path(), "a", "mp4", 7)};
        const uint64_t before = CFileIo::CallCount();
        ASSERT_TRUE(CShellFileCalls::MoveOrCopyImport(t2.Path(), c2.Path(), one).Succeeded());
        callsForA = CFileIo::CallCount() - before;
    }
    CFileIo::FailNthCall(callsForA + 1, EIO);
    const ImportResultT result = CShellFileCalls::MoveOrCopyImport(temp.Path(), card.Path(), records);
    CFileIo::FailNthCall(0, 0);

    EXPECT_FALSE(result.Succeeded());
    EXPECT_EQ(result.code, ErrnoCode(EIO));
    EXPECT_TRUE(result.RecordLanded(0, 7));
    EXPECT_FALSE(result.RecordLanded(1, 7));
    EXPECT_TRUE(fs::exists(temp / "b.mp4"));
}

TEST(ShellCardDeletion, DeletesTheMediaFileWithTheSidecarsItHas)
{
    TempDir root;
    const fs::path folder = MakeCard(root.Path(), {1}) / "TQ9_0001";
    for (const char* name : {"clip.mp4", "clip.thm", "clip.mrk", "song.mp3", "song.mrk", "keep.mp4", "keep.thm"})
        WriteFile(folder / name, "x");

    EXPECT_FALSE(CShellFileCalls::DeleteSelected({(folder / "clip.mp4").string(), (folder / "song.mp3").string()})
                     .Failed());

    EXPECT_EQ(Names(folder), (std::vector<std::string> {"keep.mp4", "keep.thm"}));
}

TEST(ShellCardDeletion, RefusalsDeleteNothing)
{
    TempDir root;
    const fs::path folder = MakeCard(root.Path(), {1}) / "TQ9_0001";
    for (const char* name : {"clip.mp4", "clip.thm", "notes.txt"})
        WriteFile(folder / name, "x");

    // A row shown through a numbered folder that links off the card is not the card's to delete either.
    fs::create_directories(root / "elsewhere");
    WriteFile(root / "elsewhere" / "victim.jpg", "keep");
    fs::create_directory_symlink(root / "elsewhere", folder.parent_path() / "TQ9_0002");
    const std::string mp4 = (folder / "clip.mp4").string();
    for (const std::vector<std::string>& request : std::vector<std::vector<std::string>>{
             {}, {(folder / "clip.thm").string()}, {mp4, (folder / "notes.txt").string()},
             {mp4, (folder / "gone.mp4").string()}, {(folder.parent_path() / "TQ9_0002" / "victim.jpg").string()}})
        EXPECT_TRUE(CShellFileCalls::DeleteSelected(request).Failed()) << request.size();
    EXPECT_TRUE(CShellFileCalls::DeleteCardFiles({}).Failed());

    EXPECT_EQ(Names(folder), (std::vector<std::string> {"clip.mp4", "clip.thm", "notes.txt"}));
    EXPECT_EQ(ReadFile(root / "elsewhere" / "victim.jpg"), "keep");
}
