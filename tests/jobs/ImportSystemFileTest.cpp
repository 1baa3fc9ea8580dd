#include <gtest/gtest.h>

#include "card/ImportSystemFile.h"
#include "card/UserException.h"
#include "jobs/ImportFixture.h"

using namespace tq9;
using namespace tq9test;

namespace {

class ImportSystemFileTest : public ImportFixture {
protected:
    CTQ9ImportSystemFile Build(const std::string& source,
                               CTQ9ImportSystemFile::Variant variant = CTQ9ImportSystemFile::Variant::Transcode)
    {
        CTQ9ImportSystemFile r;
        r.Build(card.string(), source, variant);
        return r;
    }
};

TEST_F(ImportSystemFileTest, SameNameFromTwoFoldersGetsTheCollisionNameAndReservesWorkingFiles)
{
    const auto first = Build(Source("a/clip.MOV"));
    const auto second = Build(Source("b/clip.mov"));

    EXPECT_EQ(first.destMediaPath, (card / "clip.mp4").string());
    EXPECT_EQ(first.destThumbnailPath, (card / "clip.thm").string());
    EXPECT_EQ(first.destMarkerPath, (card / "clip.mrk").string());
    EXPECT_EQ(first.passLogPath, (tmp / "clip.passlog").string());
    EXPECT_EQ(second.destMediaPath, (card / "clip_mov.mp4").string());
    EXPECT_EQ(second.destThumbnailPath, (card / "clip_mov.thm").string());
    EXPECT_EQ(second.destMarkerPath, (card / "clip_mov.mrk").string());
    EXPECT_EQ(second.tempMediaPath, (tmp / "clip_mov.mp4").string());
    EXPECT_EQ(first.flags, FILE_MEDIA | FILE_THUMBNAIL | FILE_MARKER);
    EXPECT_EQ(first.kind, KIND_VIDEO);
    EXPECT_EQ(first.tempCreated, 1);
    // The reservations: six empty working files, no pass log yet.
    EXPECT_EQ(Names(tmp), (std::vector<std::string>{"clip.mp4", "clip.mrk", "clip.thm", "clip_mov.mp4",
                                                    "clip_mov.mrk", "clip_mov.thm"}));
    EXPECT_EQ(fs::file_size(first.tempMediaPath), 0u);
    EXPECT_TRUE(Names(card).empty());
}

TEST_F(ImportSystemFileTest, TableDecidesTargetAndSidecars)
{
    const auto photo = Build(Source("photo.png"));
    EXPECT_EQ(photo.destMediaPath, (card / "photo.jpg").string());
    EXPECT_EQ(photo.destThumbnailPath, (card / "photo.thm").string());
    EXPECT_TRUE(photo.destMarkerPath.empty());
    EXPECT_EQ(photo.kind, KIND_STILL);

    const auto song = Build(Source("song.wav"));
    EXPECT_EQ(song.destMediaPath, (card / "song.mp3").string());
    EXPECT_EQ(song.destMarkerPath, (card / "song.mrk").string());
    EXPECT_TRUE(song.destThumbnailPath.empty());
    EXPECT_EQ(song.kind, KIND_AUDIO);

    const auto bmp = Build(Source("pic.BMP"));
    EXPECT_EQ(bmp.destMediaPath, (card / "pic.bmp").string());

    const auto notes = Build(Source("notes.txt"));
    EXPECT_EQ(notes.flags, 0u);
    EXPECT_TRUE(notes.tempMediaPath.empty() && notes.destMediaPath.empty() && notes.passLogPath.empty());

    EXPECT_EQ(Names(tmp), (std::vector<std::string>{"photo.jpg", "photo.thm", "pic.bmp", "pic.thm", "song.mp3",
                                                    "song.mrk"}));
}

TEST_F(ImportSystemFileTest, ExistingCardFileOfAnyExtensionForcesTheCollisionName)
{
    WriteFile(card / "clip.thm", "");
    EXPECT_EQ(Build(Source("clip.mov")).destMediaPath, (card / "clip_mov.mp4").string());
    EXPECT_EQ(Build(Source("x/clip.mov")).destMediaPath, (card / "clip_mov_0.mp4").string())
        << "clip_mov is reserved in the temporary folder by the record before";
    WriteFile(card / "clip_mov_1.mp4", "");
    EXPECT_EQ(Build(Source("y/clip.mov")).destMediaPath, (card / "clip_mov_2.mp4").string());
}

TEST_F(ImportSystemFileTest, CopyVariantKeepsTheExtensionAndHasNoPassLog)
{
    const auto r = Build(Source("clip.mov"), CTQ9ImportSystemFile::Variant::Copy);
    EXPECT_EQ(r.destMediaPath, (card / "clip.mov").string());
    EXPECT_EQ(r.kind, KIND_VIDEO | KIND_COPY);
    EXPECT_TRUE(r.passLogPath.empty());
}

TEST_F(ImportSystemFileTest, RefusesBadSourcesAndDestinations)
{
    fs::create_directories(pc / "folder.mov");
    const std::string clip = Source("clip.mov");
    EXPECT_THROW(Build((pc / "folder.mov").string()), CUserException);
    EXPECT_THROW(Build((pc / "missing.mov").string()), CUserException);
    CTQ9ImportSystemFile r;
    EXPECT_THROW(r.Build((card / "nowhere").string(), clip, CTQ9ImportSystemFile::Variant::Transcode),
                 CUserException);
    EXPECT_THROW(r.Build(clip, clip, CTQ9ImportSystemFile::Variant::Transcode), CUserException);
    EXPECT_TRUE(Names(tmp).empty());
}

TEST_F(ImportSystemFileTest, NeverClobbersAnotherImportsWorkingFileAndCleansOnlyItsOwn)
{
    // Another running import holds clip_mov.thm; only the media name is checked by the free-name rule.
    WriteFile(tmp / "clip.mp4", "");
    WriteFile(tmp / "clip_mov.thm", "theirs");
    CTQ9ImportSystemFile r;
    EXPECT_THROW(r.Build(card.string(), Source("clip.mov"), CTQ9ImportSystemFile::Variant::Transcode),
                 CUserException);
    EXPECT_EQ(ReadFile(tmp / "clip_mov.thm"), "theirs");
    r.DeleteWorkingFiles();
    EXPECT_EQ(Names(tmp), (std::vector<std::string>{"clip.mp4", "clip_mov.thm"}));

    const auto ok = Build(Source("song.wav"));
    WriteFile(ok.tempMediaPath, "converted");
    WriteFile(ok.passLogPath, "encoder statistics");
    ok.DeleteWorkingFiles();
    EXPECT_EQ(Names(tmp), (std::vector<std::string>{"clip.mp4", "clip_mov.thm"}));
}

} // namespace
