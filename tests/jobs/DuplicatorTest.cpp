// The duplication job: what it copies, what it refuses with which text, and that an interrupted run
// leaves no empty, partial or hidden file on the card.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "jobs/CardWriteCause.h"
#include "jobs/Duplicator.h"
#include "platform/ShellFileOperation.h"
#include "jobs/FakeFrontEnds.h"
#include "res/MessageCatalogue.h"
#include "support/FileOpTestSupport.h"
#include "support/ScratchMount.h"

using namespace tq9;
using namespace tq9test;

namespace {

class DuplicatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const fs::path device = MakeCard(dir.Path(), {1, 2});
        from = device / "TQ9_0001";
        to = device / "TQ9_0002";
    }
    std::string Source(const std::string& name, const std::string& bytes)
    {
        WriteFile(from / name, bytes);
        return (from / name).string();
    }

    TempDir dir;
    fs::path from;
    fs::path to;
    CDuplicator job;
};

} // namespace

TEST_F(DuplicatorTest, CopiesEachItemWithItsSidecarsByteForByte)
{
    const std::string video = Blob(5000, 1);
    const auto clip = Source("clip.mp4", video);
    Source("clip.thm", Blob(300, 2));
    Source("clip.mrk", "\x00\x00\x00\x3d");
    const auto photo = Source("photo.jpg", Blob(10, 3));
    const auto empty = Source("empty.mp3", "");
    WriteFile(to / "clip.mp4", "already there");
    const auto cardDate = fs::file_time_type::clock::now() - std::chrono::hours(24 * 30);
    for (const char* name : {"clip.mp4", "clip.thm", "clip.mrk"})
        fs::last_write_time(from / name, cardDate);

    ASSERT_EQ(job.Prepare(to.string(), {clip, photo, empty}, 0), 0);
    EXPECT_EQ(job.GetFileCount(), 3);
    WaitingFrontEnd frontEnd;
    EXPECT_EQ(job.Run(frontEnd), 0);

    EXPECT_EQ(ReadFile(to / "clip_0.mp4"), video);
    EXPECT_EQ(ReadFile(to / "clip_0.thm"), Blob(300, 2));
    EXPECT_EQ(ReadFile(to / "clip_0.mrk"), ReadFile(from / "clip.mrk"));
    EXPECT_EQ(ReadFile(to / "photo.jpg"), Blob(10, 3));
    EXPECT_EQ(ReadFile(to / "clip.mp4"), "already there");
    // The copies keep the card files' dates, as a file manager's copy does.
    for (const char* name : {"clip_0.mp4", "clip_0.thm", "clip_0.mrk"})
        EXPECT_EQ(fs::last_write_time(to / name), cardDate) << name;
    EXPECT_EQ(Names(to), (std::vector<std::string>{"clip.mp4", "clip_0.mp4", "clip_0.mrk", "clip_0.thm",
                                                   "empty.mp3", "photo.jpg"}));
    EXPECT_EQ(job.Duplicated(), (std::vector<std::string>{(to / "clip_0.mp4").string(), (to / "photo.jpg").string(),
                                                          (to / "empty.mp3").string()}));
    // One job serves drop after drop.
    EXPECT_TRUE(job.Records().empty());
    EXPECT_EQ(job.GetState(), STATE_RUNNING);
}

TEST_F(DuplicatorTest, ItemsOfOneNameLandApartUnderNamesFreeForEveryPart)
{
    // One name from two folders, in two letter cases, into a folder where another item's thumbnail
    // already holds the first candidate's sidecar name, and once more into the clip's own folder.
    const fs::path third = from.parent_path() / "TQ9_0003";
    fs::create_directories(third);
    const auto clip = Source("clip.mp4", "first clip");
    Source("clip.thm", "first thumb");
    Source("clip.mrk", "1111");
    WriteFile(third / "CLIP.MP4", "second clip");
    WriteFile(third / "CLIP.thm", "second thumb");
    WriteFile(to / "clip.jpg", "a photo");
    WriteFile(to / "clip.THM", "the photo's thumb");

    ASSERT_EQ(job.Prepare(to.string(), {clip, (third / "CLIP.MP4").string()}, 0), 0);
    WaitingFrontEnd frontEnd;
    ASSERT_EQ(job.Run(frontEnd), 0);
    EXPECT_EQ(job.Duplicated(), (std::vector<std::string>{(to / "clip_0.mp4").string(), (to / "CLIP_1.MP4").string()}));
    EXPECT_EQ(Names(to), (std::vector<std::string>{"CLIP_1.MP4", "CLIP_1.thm", "clip.THM", "clip.jpg", "clip_0.mp4",
                                                   "clip_0.mrk", "clip_0.thm"}));
    EXPECT_EQ(ReadFile(to / "clip_0.thm"), "first thumb");
    EXPECT_EQ(ReadFile(to / "CLIP_1.thm"), "second thumb");
    EXPECT_EQ(ReadFile(to / "clip.THM"), "the photo's thumb");

    ASSERT_EQ(job.Prepare(from.string(), {clip}, 0), 0);
    ASSERT_EQ(job.Run(frontEnd), 0);
    EXPECT_EQ(job.Duplicated(), std::vector<std::string>{(from / "clip_0.mp4").string()});
    EXPECT_EQ(ReadFile(from / "clip_0.mrk"), "1111");
    EXPECT_EQ(ReadFile(from / "clip.mp4"), "first clip");
}

TEST_F(DuplicatorTest, RefusalsNameTheirReasonAndLeaveNothingReserved)
{
    const auto clip = Source("clip.mp4", "x");
    const auto notes = Source("notes.txt", "x");

    const std::string file = (to / "file.mp4").string();
    WriteFile(file, "x");
    EXPECT_EQ(job.Prepare(file, {clip}, 0), CDuplicator::RESULT_NOT_DIRECTORY);
    EXPECT_EQ(job.BuildErrorMessage(CDuplicator::RESULT_NOT_DIRECTORY), "The " + file + " is not directry attribution.\n");
    fs::remove(file);

    EXPECT_EQ(job.Prepare(to.string(), {clip, (from / "gone.mp4").string()}, 0), CDuplicator::RESULT_CANNOT_OPEN);
    EXPECT_EQ(job.BuildErrorMessage(CDuplicator::RESULT_CANNOT_OPEN), "Invalid file type.\nCannot open file.\n");
    EXPECT_EQ(job.Prepare(to.string(), {clip, from.string()}, 0), CDuplicator::RESULT_HAS_DIRECTORY);
    EXPECT_EQ(job.BuildErrorMessage(CDuplicator::RESULT_HAS_DIRECTORY),
              "Invalid file type.\nIncluding path attributed directry.\n");
    EXPECT_EQ(job.BuildErrorMessage(0), "Error not found.\n");

    // A type without a row refuses the whole batch; the clip's reservation does not stay behind.
    EXPECT_EQ(job.Prepare(to.string(), {clip, notes}, 0), CDuplicator::RESULT_OTHER_ERROR);
    EXPECT_EQ(job.RefusedSources(), std::vector<std::string>{notes});
    EXPECT_EQ(DuplicationReportText(job, CDuplicator::RESULT_OTHER_ERROR),
              "other error\n" + CMessageCatalogue::Get(IDS_FAILED_FILES_HEADING) + notes + "\n");
    EXPECT_TRUE(Names(to).empty());
}

TEST_F(DuplicatorTest, CancelKeepsFinishedItemsAndRemovesTheInterruptedOne)
{
    const auto first = Source("first.jpg", Blob(3000, 4));
    Source("first.thm", "t");
    // The second source is large enough that its copy is still under way when the first item has landed.
    const auto second = Source("second.mp4", Blob(8 << 20, 6));
    Source("second.thm", "t");

    ASSERT_EQ(job.Prepare(to.string(), {first, second}, 0), 0);
    struct CancelAfterFirst : IProgressFrontEnd {
        fs::path to;
        int RunModal(IConvProgress& job) override
        {
            while (!fs::exists(to / "first.jpg") && job.GetState() == STATE_RUNNING)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            CancelJob(job);
            return FRONTEND_CANCELED;
        }
    } frontEnd;
    frontEnd.to = to;
    EXPECT_EQ(job.Run(frontEnd), JOB_RESULT_CANCELED);

    EXPECT_EQ(ReadFile(to / "first.jpg"), Blob(3000, 4));
    EXPECT_EQ(Names(to), (std::vector<std::string>{"first.jpg", "first.thm"}));
    EXPECT_EQ(DuplicationReportText(job, JOB_RESULT_CANCELED), "Duplication canceled.");
}

TEST_F(DuplicatorTest, AFailedPartRemovesTheWholeItemNamesItsCauseAndTheNextGoesOn)
{
    const auto clip = Source("clip.mp4", Blob(2000, 5));
    Source("clip.mrk", "\x00\x00\x00\x01");
    const auto later = Source("later.mp3", "x");
    ASSERT_EQ(job.Prepare(to.string(), {clip, later}, 0), 0);
    fs::remove(from / "clip.mrk"); // gone by the time its copy starts: the media file was already copied

    WaitingFrontEnd frontEnd;
    const int result = job.Run(frontEnd);
    EXPECT_EQ(result, CDuplicator::RESULT_SOURCE_GONE);
    EXPECT_EQ(frontEnd.endState, STATE_FAILED) << "the progress ends \"Copying failed.\", not \"finished successfully\"";
    EXPECT_EQ(Names(to), std::vector<std::string>{"later.mp3"});
    EXPECT_EQ(job.Duplicated(), std::vector<std::string>{(to / "later.mp3").string()});
    EXPECT_EQ(DuplicationReportText(job, result), "Cannot open file.\n\n\nfilename\nCannot open file.\n" + clip + "\n");
}

// One errno, two causes: the folder tells which.
TEST(CardWriteCause, ACardGoneUnderTheWriteIsNotARefusedName)
{
    TempDir dir;
    const std::string gone = (dir / "unmounted").string();
    auto cause = [](int code, const std::string& folder) { return CCardWriteCause::OfWriteInto(code, folder).cause; };
    EXPECT_EQ(cause(ErrnoCode(ENOENT), gone), JobCause::CardRemoved);
    EXPECT_EQ(cause(DE_INVALIDFILES, gone), JobCause::CardRemoved);
    EXPECT_EQ(cause(ErrnoCode(ENOENT), dir.Path().string()), JobCause::NameRefused);
    EXPECT_EQ(cause(ErrnoCode(ECONNABORTED), dir.Path().string()), JobCause::CardRemoved);
    // A FAT driver's EPERM in a folder we may write is its refusal of the name.
    EXPECT_EQ(cause(ErrnoCode(EPERM), dir.Path().string()), JobCause::NameRefused);
    EXPECT_EQ(CCardWriteCause::OperationFailureText(IDS_DELETE_FAILED, {JobCause::CardRemoved, 0, {}, {}}),
              "Failed to delete file.\nThe card was removed, or its driver stopped, while it was written.\n");
}

TEST_F(DuplicatorTest, AFullOrReadOnlyCardIsNamedAsTheImportNamesIt)
{
    std::string skip;
    auto card = ScratchMount::Tmpfs("64k", skip);
    if (!card)
        GTEST_SKIP() << skip;
    const auto big = Source("big.mp4", Blob(200000, 6));
    const auto small = Source("small.mp3", "x");
    ASSERT_EQ(job.Prepare(card->Path().string(), {big, small}, 0), 0);
    WaitingFrontEnd frontEnd;
    int result = job.Run(frontEnd);
    EXPECT_EQ(result, kResultCardFull);
    const std::string report = DuplicationReportText(job, result);
    EXPECT_EQ(report.rfind("Not enough free space on the card.\nAbout ", 0), 0u) << report;
    EXPECT_NE(report.find("\n\n\nfilename\nNot enough free space on the card.\n" + big + "\n"), std::string::npos) << report;
    EXPECT_EQ(Names(card->Path()), std::vector<std::string>{"small.mp3"});

    ASSERT_TRUE(card->Remount("ro"));
    ASSERT_EQ(job.Prepare(card->Path().string(), {small}, 0), 0);
    result = job.Run(frontEnd);
    EXPECT_EQ(DuplicationReportText(job, result),
              "The card is write-protected or read-only.\n\n\nfilename\nThe card is write-protected or read-only.\n" +
                  small + "\n");
}
