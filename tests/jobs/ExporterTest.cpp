#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <chrono>
#include <functional>
#include <thread>

#include "jobs/Exporter.h"
#include "jobs/ImportFixture.h"
#include "media/FFMpegConverter.h"
#include "media/FakeWriter.h"
#include "media/WmvTestMedia.h"
#include "support/FakeLibrary.h"
#include "support/ScratchMount.h"

using namespace tq9;
using namespace tq9test;

namespace {

bool contains(const std::string& s, const char* part)
{
    return s.find(part) != std::string::npos;
}

// Probes only: a source named "device..." holds MPEG-4 Part 2 video with MP3 audio, "corrupt..." cannot
// be read, "real..." is real media the library probes, anything else holds H.264 with AAC.
int FakeProbe(const ArgView& args, const FakeLibrary::Send& send)
{
    const std::string source = args.Source();
    if (contains(source, "/real"))
        return FakeLibrary::kRealLibrary;
    const int status = contains(source, "corrupt") ? -1094995529 : 0;
    if (status == 0) {
        send(TQ9_EVENT_DURATION, 0, 2000);
        send(TQ9_EVENT_STREAM_INFO, 0, contains(source, "device") ? TQ9_CODEC_MPEG4 : 27);
        send(TQ9_EVENT_STREAM_INFO, 1, contains(source, "device") ? TQ9_CODEC_MP3 : 0x15002);
    }
    return FakeLibrary::Finish(send, status);
}

class FunctionFrontEnd : public IProgressFrontEnd {
public:
    explicit FunctionFrontEnd(std::function<int(IConvProgress&)> run) : m_run(std::move(run)) {}
    int RunModal(IConvProgress& job) override
    {
        ++calls;
        return m_run(job);
    }
    int calls = 0;

private:
    std::function<int(IConvProgress&)> m_run;
};

int WaitForEnd(IConvProgress& job)
{
    while (job.GetState() == STATE_RUNNING)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return FRONTEND_FINISHED;
}

class ExporterTest : public ImportFixture {
protected:
    void SetUp() override
    {
        ImportFixture::SetUp();
        m_library.SetScript(&FakeProbe);
    }
    std::string OnCard(const std::string& name, const std::string& bytes = "card bytes")
    {
        WriteFile(card / name, bytes);
        return (card / name).string();
    }

    CExporter exporter;
    FunctionFrontEnd waiting{&WaitForEnd};

private:
    FakeLibrary m_library;
};

} // namespace

TEST_F(ExporterTest, AMissingSourceFailsAloneAndAFolderRefusesTheRequest)
{
    const std::string avi = OnCard("a.avi");
    const std::string gone = (card / "gone.mp4").string();
    EXPECT_EQ(exporter.Prepare({avi, card.string()}), CExporter::RESULT_FOLDER);
    EXPECT_EQ(exporter.GetRecordCount(), 0);
    EXPECT_TRUE(Names(tmp).empty());
    // A card pulled out before the drop: nothing runs, and the message names every file.
    EXPECT_EQ(exporter.Prepare({gone}), CExporter::RESULT_NOT_FOUND);
    EXPECT_TRUE(Names(tmp).empty());
    EXPECT_EQ(ExportFailureText(exporter, false), "1 of 1 files could not be exported.\n\n\nfilename\n"
                                                  "The card was removed, or the file is no longer on it.\n" + gone + "\n");

    // The card file that went since the drag started is named; the other one is exported.
    ASSERT_EQ(exporter.Prepare({gone, avi}), 0);
    EXPECT_EQ(exporter.Run(waiting), CExporter::RESULT_FAILED);
    EXPECT_FALSE(exporter.Exported(0));
    EXPECT_TRUE(exporter.Exported(1));
    ASSERT_EQ(exporter.FailedSources().size(), 1u);
    EXPECT_EQ(exporter.FailedSources()[0].path, gone);
    EXPECT_EQ(exporter.FailedSources()[0].code, CExporter::RESULT_CARD_REMOVED);

    // Nothing to export is no failure.
    EXPECT_EQ(exporter.Prepare({}), 0);
    EXPECT_EQ(exporter.Run(waiting), JOB_RESULT_DONE);
}

TEST_F(ExporterTest, CopiesByteForByteUnderShortNamesInARunFolderKeepingTheCardDate)
{
    const std::string bytes(5000, 'x');
    const std::vector<std::string> sources = {OnCard("clip.avi", bytes), OnCard("clip.thm"), OnCard("other.mp4", bytes),
                                              OnCard("photo.jpg", "jpeg")};
    const auto cardDate = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    fs::last_write_time(sources[0], cardDate);
    fs::last_write_time(sources[2], cardDate);
    ASSERT_EQ(exporter.Prepare(sources), 0);
    EXPECT_EQ(exporter.Run(waiting), JOB_RESULT_DONE);
    ASSERT_EQ(exporter.GetRecordCount(), 4);
    // One working folder of the run's own in the temporary folder, so an export into the temporary folder
    // itself never meets its own working files.
    const std::vector<std::string> top = Names(tmp);
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0].rfind("tq9-work-", 0), 0u) << top[0];
    const fs::path work = tmp / top[0];
    EXPECT_EQ(exporter.GetRecord(0).tempPath, (work / "1.avi").string());
    EXPECT_EQ(exporter.GetRecord(1).flags, 0u);
    EXPECT_EQ(exporter.GetRecord(2).tempPath, (work / "3.mp4").string());
    EXPECT_EQ(ReadFile(work / "1.avi"), bytes);
    EXPECT_EQ(ReadFile(work / "3.mp4"), bytes);
    EXPECT_EQ(ReadFile(work / "4.jpg"), "jpeg");
    EXPECT_EQ(fs::last_write_time(work / "1.avi"), cardDate);
    EXPECT_EQ(fs::last_write_time(work / "3.mp4"), cardDate);
    EXPECT_TRUE(exporter.FailedSources().empty());
    EXPECT_EQ(ExportFailureText(exporter, true), "");
    // The records outlive the run; their working files go when the caller is done with them.
    exporter.DeleteWorkingFiles();
    EXPECT_TRUE(Names(tmp).empty());
}

TEST_F(ExporterTest, AFileThatFailsIsNamedWithItsCauseAndTheOthersAreExported)
{
    const std::string first = OnCard("first.jpg", "jpeg");
    const std::string corrupt = OnCard("corrupt.mp4");
    const std::string after = OnCard("after.jpg", "jpeg2");
    ASSERT_EQ(exporter.Prepare({first, corrupt, after}), 0);
    EXPECT_EQ(exporter.Run(waiting), CExporter::RESULT_FAILED);
    EXPECT_TRUE(exporter.Exported(0));
    EXPECT_FALSE(exporter.Exported(1));
    EXPECT_TRUE(exporter.Exported(2));
    EXPECT_EQ(ReadFile(exporter.GetRecord(0).tempPath), "jpeg");
    EXPECT_EQ(ReadFile(exporter.GetRecord(2).tempPath), "jpeg2");
    ASSERT_EQ(exporter.FailedSources().size(), 1u);
    EXPECT_EQ(exporter.FailedSources()[0].code, CExporter::RESULT_NOT_MEDIA);
    EXPECT_EQ(ExportFailureText(exporter, true), "1 of 3 files could not be exported.\n"
                                                 "The others were handed over.\n\n\nfilename\n"
                                                 "The file cannot be read as media.\n" + corrupt + "\n");
    exporter.DeleteWorkingFiles();
    EXPECT_TRUE(Names(tmp).empty());
}

TEST_F(ExporterTest, ATemporaryFolderWithoutRoomGivesWayToTheCacheFolderOrSaysHowMuchIsNeeded)
{
    std::string skip;
    auto small = ScratchMount::Tmpfs("2m", skip);
    if (!small)
        GTEST_SKIP() << skip;
    const std::string big = OnCard("big.avi", std::string(3 << 20, 'b'));
    const std::string photo = OnCard("photo.jpg", "jpeg");
    ::setenv("TMPDIR", small->Path().c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);

    // The cache folder has room: the working folder goes there.
    ASSERT_EQ(exporter.Prepare({big, photo}), 0);
    EXPECT_EQ(fs::path(exporter.GetRecord(0).tempPath).parent_path().parent_path(), dir / "cache/tq9-image-converter");
    EXPECT_EQ(exporter.Run(waiting), JOB_RESULT_DONE);
    EXPECT_EQ(fs::file_size(exporter.GetRecord(0).tempPath), 3u << 20);
    exporter.DeleteWorkingFiles();

    // Told to work in the small folder: the file that does not fit is named with the figures, before a
    // byte of it is written; the small one is exported. A recording probed as 2 s (1.6 MB of WMV, room
    // enough) holds 200 s: its WMV (3.4 MB) outgrows the folder on the way, and is named full without
    // figures (the estimate it outgrew would claim less is needed than is free).
    const std::string longClip = (card / "device-long.mp4").string();
    fs::copy_file(LongDeviceClip(), longClip);
    ASSERT_EQ(exporter.Prepare({big, photo, longClip}, small->Path().string()), 0);
    EXPECT_EQ(exporter.Run(waiting), CExporter::RESULT_FAILED);
    ASSERT_EQ(exporter.FailedSources().size(), 2u);
    for (const CExporter::FailedSource& failed : exporter.FailedSources()) {
        const std::string about = failed.path == big ? "About 3" : "";
        EXPECT_EQ(failed.code, CExporter::RESULT_NO_ROOM) << failed.path;
        EXPECT_EQ(ExportCauseText(failed).rfind("Not enough room in " + small->Path().string() + ".\n" + about, 0), 0u)
            << ExportCauseText(failed);
        EXPECT_EQ(ExportCauseText(failed).find("About") == std::string::npos, failed.path != big);
    }
    EXPECT_TRUE(exporter.Exported(1));
    EXPECT_FALSE(exporter.Exported(2));
    EXPECT_FALSE(fs::exists(exporter.GetRecord(2).tempPath)) << "half a WMV left behind";
    exporter.DeleteWorkingFiles();
    ::unsetenv("XDG_CACHE_HOME");
}

TEST_F(ExporterTest, DuringTheProgramsOwnDropRecordsArePlainCopiesAndRunDoesNothing)
{
    const std::string mp4 = OnCard("device.mp4");
    EXPECT_EQ(exporter.Prepare({mp4}, {}, true), CExporter::RESULT_PLAIN_COPY);
    EXPECT_EQ(exporter.UnconvertedSources(), std::vector<std::string>({mp4}));
    EXPECT_EQ(exporter.Run(waiting), JOB_RESULT_DONE);
    EXPECT_EQ(waiting.calls, 0);
    EXPECT_TRUE(Names(tmp).empty());
}

TEST_F(ExporterTest, CancelDuringACopyEndsTheRunCancelled)
{
    const std::string big = OnCard("big.avi", std::string(16 << 20, 'b'));
    const std::string next = OnCard("next.jpg");
    ASSERT_EQ(exporter.Prepare({big, next}), 0);
    int percentSeen = -1;
    FunctionFrontEnd cancelling([&](IConvProgress& job) {
        while (job.GetPercent() == 0 && job.GetState() == STATE_RUNNING)
            std::this_thread::yield();
        percentSeen = job.GetPercent();
        EXPECT_EQ(job.GetCurrentFileName(), big);
        CancelJob(job);
        return FRONTEND_CANCELED;
    });
    EXPECT_EQ(exporter.Run(cancelling), JOB_RESULT_CANCELED);
    EXPECT_GT(percentSeen, 0);
    EXPECT_LT(fs::file_size(exporter.GetRecord(0).tempPath), 16u << 20);
    EXPECT_EQ(fs::file_size(exporter.GetRecord(1).tempPath), 0u);
    EXPECT_TRUE(exporter.FailedSources().empty());
}

TEST_F(ExporterTest, DeviceRecordingBecomesAWmvWorkingFile)
{
    FakeWriter writer;
    fs::copy_file(DeviceClip(), card / "real.mp4");
    ASSERT_EQ(exporter.Prepare({(card / "real.mp4").string()}), 0);
    EXPECT_EQ(exporter.Run(waiting), JOB_RESULT_DONE);
    const CTQ9ExportSystemFile record = exporter.GetRecord(0);
    EXPECT_EQ(record.kind, KIND_VIDEO);
    EXPECT_EQ(fs::path(record.tempPath).filename(), "1.wmv");
    EXPECT_EQ(writer.path, record.tempPath);
    EXPECT_EQ(writer.closes, 1);
    EXPECT_EQ(writer.videoPts.size(), 50u);
}

TEST_F(ExporterTest, ACardPulledDuringTheConversionIsNamedRemoved)
{
    std::string skip;
    auto fat = ScratchMount::FatImage(32, skip);
    if (!fat)
        GTEST_SKIP() << skip;
    // 8 MB, far more than the reader runs ahead of the slower stream (1 MB), so reading is not over when
    // the card goes.
    const fs::path clip = SynthMedia("wmv-long-noise.mp4", {"-f", "lavfi", "-i", "testsrc=size=64x48:rate=5:duration=100",
                                                          "-f", "lavfi", "-i", "sine=sample_rate=32000:duration=100",
                                                          "-vf", "noise=alls=100:allf=t", "-c:v", "mpeg4", "-q:v", "2", "-c:a", "libmp3lame",
                                                          "-b:a", "32k", "-shortest", "-movflags", "+faststart"});
    const fs::path source = fat->Path() / "device-long.mp4";
    WriteFile(source, ReadFile(clip)); // fusefat has no copy_file_range
    // Out of the page cache, so the conversion reads through the driver as from a card put in.
    const int fd = ::open(source.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ::fsync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
    ASSERT_EQ(exporter.Prepare({source.string()}), 0);
    FakeWriter writer; // slow enough to pull the card in the middle
    writer.pictureDelay = std::chrono::milliseconds(5);
    FunctionFrontEnd pulling([&](IConvProgress& job) {
        while (writer.pictures.load() < 20 && job.GetState() == STATE_RUNNING)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        // The card goes as an unplugged reader's does: its driver ends under the running read.
        const ProcessResult driver = RunProcess({"pgrep", "-f", "^fusefat .* " + fat->Path().string() + "$"});
        EXPECT_EQ(driver.exitCode, 0) << driver.err;
        if (driver.exitCode == 0)
            ::kill(std::stoi(driver.out), SIGKILL);
        return WaitForEnd(job);
    });
    EXPECT_EQ(exporter.Run(pulling), CExporter::RESULT_FAILED);
    ASSERT_EQ(exporter.FailedSources().size(), 1u);
    EXPECT_EQ(exporter.FailedSources()[0].code, CExporter::RESULT_CARD_REMOVED)
        << ExportCauseText(exporter.FailedSources()[0]);
    EXPECT_FALSE(exporter.Exported(0));
}
