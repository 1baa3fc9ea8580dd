// The duplication record: which parts it copies, the names it picks in the receiving folder (writing
// nothing there) and the candidates the copy walks when a name is taken by then.
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

TEST(DuplicationRecord, NamesEveryPartTheSourceHasAfterTheNextFreeNameAndWritesNothing)
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

    // Nothing is reserved: a second record of the same batch sees the same free name, and the copy
    // separates the two under the folder's lock, walking clip, clip_0, clip_1... for every part alike.
    const auto again = f.Build("clip.MP4");
    EXPECT_EQ(again.destMediaPath, (f.to / "clip_0.MP4").string());
    EXPECT_EQ(again.CollisionPath(again.destMediaPath, 2), (f.to / "clip.MP4").string());
    EXPECT_EQ(again.CollisionPath(again.destThumbnailPath, 3), (f.to / "clip_0.thm").string());
    EXPECT_EQ(again.CollisionPath(again.destMarkerPath, 4), (f.to / "clip_1.mrk").string());

    // A song has no thumbnail; a png (put there by other means) keeps its type.
    const auto song = f.Build("song.mp3");
    EXPECT_EQ(song.flags, FILE_MEDIA);
    EXPECT_TRUE(song.destMarkerPath.empty());
    EXPECT_EQ(f.Build("photo.png").destMediaPath, (f.to / "photo.png").string());

    EXPECT_EQ(Names(f.to), (std::vector<std::string>{"clip.MP4"}));
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

TEST(DuplicationRecord, APartMissingAtTheSourceIsLeftOut)
{
    Folders f;
    WriteFile(f.from / "clip.mp4", "x");
    WriteFile(f.from / "clip.mrk", "x");
    WriteFile(f.to / "keep.mp4", "x");
    const auto record = f.Build("clip.mp4");
    EXPECT_EQ(record.flags, FILE_MEDIA | FILE_MARKER); // no clip.thm at the source
    EXPECT_TRUE(record.destThumbnailPath.empty());
    EXPECT_EQ(Names(f.to), std::vector<std::string>{"keep.mp4"});
}
