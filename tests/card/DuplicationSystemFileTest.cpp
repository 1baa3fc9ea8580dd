// The duplication record: which parts it copies, the names it picks in the receiving folder and the empty
// files that reserve them.
#include <gtest/gtest.h>

#include "card/DuplicationSystemFile.h"
#include "card/UserException.h"
#include "support/FileOpTestSupport.h"
#include "support/TestSupport.h"

using namespace tq9;
using namespace tq9test;

namespace {

struct Folders {
    TempDir dir;
    fs::path from = dir / "TQ9_0001";
    fs::path to = dir / "TQ9_0002";
    Folders()
    {
        fs::create_directories(from);
        fs::create_directories(to);
    }
    CTQ9DuplicationSystemFile Build(const std::string& name) const
    {
        CTQ9DuplicationSystemFile record;
        record.Build(to.string(), (from / name).string());
        return record;
    }
};

} // namespace

TEST(DuplicationRecord, ReservesEveryPartTheSourceHasUnderTheNextFreeName)
{
    Folders f;
    for (const char* name : {"clip.MP4", "clip.thm", "clip.mrk", "song.mp3", "photo.png", "photo.thm"})
        WriteFile(f.from / name, "bytes");
    WriteFile(f.to / "clip.MP4", "other");

    const auto clip = f.Build("clip.MP4");
    EXPECT_EQ(clip.flags, FILE_MEDIA | FILE_THUMBNAIL | FILE_MARKER);
    EXPECT_EQ(clip.kind, KIND_COPY);
    EXPECT_EQ(clip.sourceMediaPath, (f.from / "clip.MP4").string());
    EXPECT_EQ(clip.sourceThumbnailPath, (f.from / "clip.thm").string());
    EXPECT_EQ(clip.destMediaPath, (f.to / "clip_0.MP4").string());
    EXPECT_EQ(clip.destThumbnailPath, (f.to / "clip_0.thm").string());
    EXPECT_EQ(clip.destMarkerPath, (f.to / "clip_0.mrk").string());

    // A second record of the same batch sees the first one's reservations.
    const auto again = f.Build("clip.MP4");
    EXPECT_EQ(again.destMediaPath, (f.to / "clip_1.MP4").string());

    // A song has no thumbnail; a png (put there by other means) keeps its type.
    const auto song = f.Build("song.mp3");
    EXPECT_EQ(song.flags, FILE_MEDIA);
    EXPECT_TRUE(song.destMarkerPath.empty());
    EXPECT_EQ(f.Build("photo.png").destMediaPath, (f.to / "photo.png").string());

    EXPECT_EQ(Names(f.to), (std::vector<std::string>{"clip.MP4", "clip_0.MP4", "clip_0.mrk", "clip_0.thm",
                                                     "clip_1.MP4", "clip_1.mrk", "clip_1.thm", "photo.png",
                                                     "photo.thm", "song.mp3"}));
    EXPECT_EQ(ReadFile(f.to / "clip_0.MP4"), "");
    EXPECT_EQ(ReadFile(f.to / "clip.MP4"), "other");
}

TEST(DuplicationRecord, NeverWritesOverAnotherItemsSidecar)
{
    Folders f;
    for (const char* name : {"photo.mp4", "photo.thm", "photo.mrk"})
        WriteFile(f.from / name, "video");
    // photo.jpg's thumbnail: the media name photo.mp4 is free, its sidecar name is not.
    WriteFile(f.to / "photo.jpg", "jpeg");
    WriteFile(f.to / "photo.thm", "thumb of the jpeg");

    const auto record = f.Build("photo.mp4");
    EXPECT_EQ(record.destMediaPath, (f.to / "photo_0.mp4").string());
    EXPECT_EQ(ReadFile(f.to / "photo.thm"), "thumb of the jpeg");
}

TEST(DuplicationRecord, TypesOutsideTheTableReserveNothingAndBadPathsAreRefused)
{
    Folders f;
    WriteFile(f.from / "notes.txt", "x");
    WriteFile(f.from / "clip.thm", "x");
    EXPECT_EQ(f.Build("notes.txt").flags, 0u);
    EXPECT_EQ(f.Build("clip.thm").flags, 0u);
    EXPECT_TRUE(Names(f.to).empty());

    CTQ9DuplicationSystemFile record;
    EXPECT_THROW(record.Build((f.from / "notes.txt").string(), (f.from / "notes.txt").string()), CUserException);
    EXPECT_THROW(record.Build(f.to.string(), (f.from / "gone.mp4").string()), CUserException);
    EXPECT_THROW(record.Build(f.to.string(), f.from.string()), CUserException);
}

TEST(DuplicationRecord, RemovesOnlyWhatItReserved)
{
    Folders f;
    WriteFile(f.from / "clip.mp4", "x");
    WriteFile(f.from / "clip.mrk", "x");
    WriteFile(f.to / "keep.mp4", "x");
    const auto record = f.Build("clip.mp4");
    EXPECT_EQ(record.flags, FILE_MEDIA | FILE_MARKER); // no clip.thm at the source
    record.RemoveDestinationFiles();
    EXPECT_EQ(Names(f.to), std::vector<std::string>{"keep.mp4"});
}
