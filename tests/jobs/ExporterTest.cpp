#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "jobs/Exporter.h"
#include "jobs/ImportFixture.h"
#include "jobs/SelfDDIndicator.h"
#include "media/FFMpegConverter.h"
#include "media/FakeWriter.h"
#include "media/WmvTestMedia.h"
#include "support/FakeLibrary.h"

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

TEST_F(ExporterTest, PrepareRefusesMissingSourcesAndFoldersBeforeBuildingAnything)
{
    const std::string avi = OnCard("a.avi");
    EXPECT_EQ(exporter.Prepare({avi, (card / "gone.mp4").string()}), CExporter::RESULT_NOT_FOUND);
    EXPECT_EQ(exporter.Prepare({avi, card.string()}), CExporter::RESULT_FOLDER);
    EXPECT_EQ(exporter.GetRecordCount(), 0);
    EXPECT_TRUE(Names(tmp).empty());

    // Nothing to export is no failure.
    EXPECT_EQ(exporter.Prepare({}), 0);
    EXPECT_EQ(exporter.Run(waiting), JOB_RESULT_DONE);
}

TEST_F(ExporterTest, CopiesOtherFilesByteForByteAndLeavesSidecars)
{
    const std::string bytes(5000, 'x');
    const std::vector<std::string> sources = {OnCard("clip.avi", bytes), OnCard("clip.thm"), OnCard("other.mp4", bytes),
                                              OnCard("photo.jpg", "jpeg")};
    ASSERT_EQ(exporter.Prepare(sources), 0);
    EXPECT_EQ(exporter.Run(waiting), JOB_RESULT_DONE);
    ASSERT_EQ(exporter.GetRecordCount(), 4);
    EXPECT_EQ(exporter.GetRecord(0).tempPath, (tmp / "clip.avi").string());
    EXPECT_EQ(exporter.GetRecord(1).flags, 0u);
    EXPECT_EQ(exporter.GetRecord(2).tempPath, (tmp / "other.mp4").string());
    EXPECT_EQ(ReadFile(tmp / "clip.avi"), bytes);
    EXPECT_EQ(ReadFile(tmp / "other.mp4"), bytes);
    EXPECT_EQ(ReadFile(tmp / "photo.jpg"), "jpeg");
    EXPECT_EQ(Names(tmp), std::vector<std::string>({"clip.avi", "other.mp4", "photo.jpg"}));
    // The records outlive the run; their working files go when the caller is done with them.
    exporter.DeleteWorkingFiles();
    EXPECT_TRUE(Names(tmp).empty());
}

TEST_F(ExporterTest, FailureEndsTheRunAtTheFailingFileAndNamesIt)
{
    const std::string first = OnCard("first.jpg", "jpeg");
    const std::string corrupt = OnCard("corrupt.mp4");
    const std::string after = OnCard("after.jpg", "jpeg");
    ASSERT_EQ(exporter.Prepare({first, corrupt, after}), 0);
    EXPECT_EQ(exporter.Run(waiting), CExporter::RESULT_FAILED);
    EXPECT_EQ(exporter.FailedSource(), corrupt);
    EXPECT_EQ(ReadFile(tmp / "first.jpg"), "jpeg");
    EXPECT_EQ(fs::file_size(tmp / "after.jpg"), 0u); // reserved, never written
    exporter.DeleteWorkingFiles();
    EXPECT_TRUE(Names(tmp).empty());
}

TEST_F(ExporterTest, DuringTheProgramsOwnDropRecordsArePlainCopiesAndRunDoesNothing)
{
    const std::string mp4 = OnCard("device.mp4");
    CSelfDDIndicator::Instance().SetDropBusy(1);
    EXPECT_EQ(exporter.Prepare({mp4}), CExporter::RESULT_PLAIN_COPY);
    EXPECT_EQ(exporter.UnconvertedSources(), std::vector<std::string>({mp4}));
    EXPECT_EQ(exporter.Run(waiting), JOB_RESULT_DONE);
    CSelfDDIndicator::Instance().SetDropBusy(0);
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
    EXPECT_LT(fs::file_size(tmp / "big.avi"), 16u << 20);
    EXPECT_EQ(fs::file_size(tmp / "next.jpg"), 0u);
}

TEST_F(ExporterTest, DeviceRecordingBecomesAWmvWorkingFile)
{
    FakeWriter writer;
    fs::copy_file(DeviceClip(), card / "real.mp4");
    ASSERT_EQ(exporter.Prepare({(card / "real.mp4").string()}), 0);
    EXPECT_EQ(exporter.Run(waiting), JOB_RESULT_DONE);
    const CTQ9ExportSystemFile record = exporter.GetRecord(0);
    EXPECT_EQ(record.kind, KIND_VIDEO);
    EXPECT_EQ(record.tempPath, (tmp / "real.wmv").string());
    EXPECT_EQ(writer.path, record.tempPath);
    EXPECT_EQ(writer.closes, 1);
    EXPECT_EQ(writer.videoPts.size(), 50u);
}
