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
    avi.BuildForConversion(OnCard("clip.AVI"), tmp.string(), 1);
    EXPECT_EQ(avi.flags, FILE_MEDIA);
    EXPECT_EQ(avi.kind, KIND_COPY);
    EXPECT_EQ(avi.tempCreated, 1);
    EXPECT_EQ(avi.tempPath, (tmp / "1.avi").string()); // a short name with the table's target extension
    EXPECT_TRUE(fs::is_regular_file(avi.tempPath));
    EXPECT_EQ(fs::file_size(avi.tempPath), 0u);

    // A card mp4 waits for the probe: no working file yet.
    CTQ9ExportSystemFile mp4;
    mp4.BuildForConversion(OnCard("clip.mp4"), tmp.string(), 2);
    EXPECT_EQ(mp4.kind, KIND_MP4_PROBE);
    EXPECT_EQ(mp4.tempCreated, 1);
    EXPECT_TRUE(mp4.tempPath.empty());

    for (const char* sidecar : {"clip.thm", "clip.mrk", "notes.txt"}) {
        CTQ9ExportSystemFile record;
        record.BuildForConversion(OnCard(sidecar), tmp.string(), 3);
        EXPECT_EQ(record.flags, 0u) << sidecar;
        EXPECT_TRUE(record.tempPath.empty()) << sidecar;
    }
    EXPECT_EQ(Names(tmp), std::vector<std::string>({"1.avi"}));

    CTQ9ExportSystemFile bad;
    EXPECT_THROW(bad.BuildForConversion((card / "missing.mp4").string(), tmp.string(), 4), CUserException);
    EXPECT_THROW(bad.BuildForConversion(card.string(), tmp.string(), 4), CUserException);
    EXPECT_THROW(bad.BuildForPlainCopy((card / "missing.mp4").string()), CUserException);
}

TEST_F(ExportSystemFileTest, RetargetReservesAShortWorkingNameWhateverTheCardNameIs)
{
    // A card name at the file system's limit: the working name does not grow with it.
    const std::string source = OnCard(std::string(251, 'n') + ".mp4");
    CTQ9ExportSystemFile first;
    first.BuildForConversion(source, tmp.string(), 7);
    first.Retarget(kExportMp4ToWmvRow);
    EXPECT_EQ(first.kind, KIND_VIDEO);
    EXPECT_EQ(first.tempPath, (tmp / "7.wmv").string());
    EXPECT_THROW(first.Retarget(kExportMp4AsIsRow), CUserException); // already has its working file

    // A name that is taken is never clobbered.
    CTQ9ExportSystemFile second;
    second.BuildForConversion(source, tmp.string(), 7);
    EXPECT_THROW(second.Retarget(kExportMp4ToWmvRow), CUserException);

    CTQ9ExportSystemFile asIs;
    asIs.BuildForConversion(source, tmp.string(), 8);
    asIs.Retarget(kExportMp4AsIsRow);
    EXPECT_EQ(asIs.kind, KIND_COPY);
    EXPECT_EQ(asIs.tempPath, (tmp / "8.mp4").string());

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
    built.BuildForConversion(OnCard("song.mp3"), tmp.string(), 1);
    CTQ9ExportSystemFile foreign = built;
    foreign.tempCreated = 0;
    foreign.DeleteWorkingFile();
    EXPECT_TRUE(fs::exists(built.tempPath));
    built.DeleteWorkingFile();
    EXPECT_FALSE(fs::exists(built.tempPath));
}
