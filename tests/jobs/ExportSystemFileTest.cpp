#include <gtest/gtest.h>

#include "card/ExportSystemFile.h"
#include "card/UserException.h"
#include "jobs/ImportFixture.h"

using namespace tq9;
using namespace tq9test;

namespace {

class ExportSystemFileTest : public ImportFixture {
protected:
    std::string OnCard(const std::string& name, const std::string& bytes = "card bytes")
    {
        WriteFile(card / name, bytes);
        return (card / name).string();
    }
};

} // namespace

TEST_F(ExportSystemFileTest, TableDecidesWorkingFilesAndSidecarsStayBehind)
{
    CTQ9ExportSystemFile avi;
    avi.BuildForConversion(OnCard("clip.AVI"));
    EXPECT_EQ(avi.flags, FILE_MEDIA);
    EXPECT_EQ(avi.kind, KIND_COPY);
    EXPECT_EQ(avi.tempCreated, 1);
    EXPECT_EQ(avi.tempPath, (tmp / "clip.avi").string()); // the table's target extension
    EXPECT_TRUE(fs::is_regular_file(avi.tempPath));
    EXPECT_EQ(fs::file_size(avi.tempPath), 0u);

    // A card mp4 waits for the probe: no working file yet.
    CTQ9ExportSystemFile mp4;
    mp4.BuildForConversion(OnCard("clip.mp4"));
    EXPECT_EQ(mp4.kind, KIND_MP4_PROBE);
    EXPECT_EQ(mp4.tempCreated, 1);
    EXPECT_TRUE(mp4.tempPath.empty());

    for (const char* sidecar : {"clip.thm", "clip.mrk", "notes.txt"}) {
        CTQ9ExportSystemFile record;
        record.BuildForConversion(OnCard(sidecar));
        EXPECT_EQ(record.flags, 0u) << sidecar;
        EXPECT_TRUE(record.tempPath.empty()) << sidecar;
    }
    EXPECT_EQ(Names(tmp), std::vector<std::string>({"clip.avi"}));

    CTQ9ExportSystemFile bad;
    EXPECT_THROW(bad.BuildForConversion((card / "missing.mp4").string()), CUserException);
    EXPECT_THROW(bad.BuildForConversion(card.string()), CUserException);
    EXPECT_THROW(bad.BuildForPlainCopy((card / "missing.mp4").string()), CUserException);
}

TEST_F(ExportSystemFileTest, RetargetNamesTheWorkingFileFreeInTheTemporaryFolderOnly)
{
    const std::string source = OnCard("clip.mp4");
    // The card folder's own clip.wmv does not matter; the temporary folder's clip.txt does (any extension).
    WriteFile(card / "clip.wmv", "");
    WriteFile(tmp / "clip.txt", "");
    CTQ9ExportSystemFile first;
    first.BuildForConversion(source);
    first.Retarget(kExportMp4ToWmvRow);
    EXPECT_EQ(first.kind, KIND_VIDEO);
    EXPECT_EQ(first.tempPath, (tmp / "clip_mp4.wmv").string());
    EXPECT_THROW(first.Retarget(kExportMp4AsIsRow), CUserException); // already has its working file

    CTQ9ExportSystemFile second;
    second.BuildForConversion(source);
    second.Retarget(kExportMp4ToWmvRow);
    EXPECT_EQ(second.tempPath, (tmp / "clip_mp4_0.wmv").string());

    CTQ9ExportSystemFile asIs;
    asIs.BuildForConversion(source);
    asIs.Retarget(kExportMp4AsIsRow);
    EXPECT_EQ(asIs.kind, KIND_COPY);
    EXPECT_EQ(asIs.tempPath, (tmp / "clip_mp4.mp4").string());

    CTQ9ExportSystemFile empty;
    EXPECT_THROW(empty.Retarget(kExportMp4AsIsRow), CUserException);
}

TEST_F(ExportSystemFileTest, PlainCopyRecordOwnsNoWorkingFile)
{
    CTQ9ExportSystemFile record;
    record.BuildForPlainCopy(OnCard("clip.thm")); // the table is not consulted
    EXPECT_EQ(record.flags, FILE_MEDIA);
    EXPECT_EQ(record.kind, KIND_COPY);
    EXPECT_EQ(record.tempCreated, 0);
    EXPECT_TRUE(record.tempPath.empty());
    EXPECT_TRUE(Names(tmp).empty());

    // Deleting working files touches only what a conversion build reserved.
    CTQ9ExportSystemFile built;
    built.BuildForConversion(OnCard("song.mp3"));
    CTQ9ExportSystemFile foreign = built;
    foreign.tempCreated = 0;
    foreign.DeleteWorkingFile();
    EXPECT_TRUE(fs::exists(built.tempPath));
    built.DeleteWorkingFile();
    EXPECT_FALSE(fs::exists(built.tempPath));
}
