#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <QImage>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include "jobs/FakeFrontEnds.h"
#include "jobs/ImportFixture.h"
#include "jobs/Importer.h"
#include "media/FFMpegConverter.h"
#include "support/FakeLibrary.h"

using namespace tq9;
using namespace tq9test;

namespace {

using tq9test::ArgView;
using tq9test::FakeLibrary;
using Send = FakeLibrary::Send;

bool contains(const std::string& s, const char* part)
{
    return s.find(part) != std::string::npos;
}

// A media library that writes a small file to the output of every run and reports a 61.5 s source with
// H.264 video and AAC audio (audio only for audio extensions). Source names steer it: "corrupt" cannot be
// probed, "slow" converts until asked to stop, "failpass" fails its first pass with an I/O error, "noseek"
// has no picture 5 s in, "short" writes 2.5 s whatever the probe said, "lag" answers every call 150 ms
// late, "meet" converts only once another run is under way too (or after 2 s). It counts the runs under
// way at once, overall and beside a video conversion.
class FakeMediaLibrary {
public:
    FakeMediaLibrary()
    {
        m_library.SetScript([this](const ArgView& args, const Send& send) { return Run(args, send); });
    }

    std::vector<ArgView> Calls() const { return m_library.Views(); }
    // Runs right after a probe of a source named "...cancelme...".
    std::function<void()> afterProbe;
    std::atomic<int> slowStarted{0};
    std::atomic<int> slowStopped{0};
    std::atomic<int> mostAtOnce{0};
    std::atomic<int> mostBesideVideo{0}; // runs under way while a video conversion was

private:
    int Run(const ArgView& args, const Send& send)
    {
        FakeMediaLibrary* self = this;
        const bool videoConversion = args.Out("-vcodec") == "mpeg4";
        {
            std::lock_guard<std::mutex> lock(self->m_lock);
            ++self->m_running;
            self->m_videoRunning += videoConversion ? 1 : 0;
            self->Count();
        }
        struct Leave {
            FakeMediaLibrary* self;
            bool video;
            ~Leave()
            {
                std::lock_guard<std::mutex> lock(self->m_lock);
                --self->m_running;
                self->m_videoRunning -= video ? 1 : 0;
            }
        } leave{self, videoConversion};
        const std::string source = args.Source();
        if (contains(source, "lag"))
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        auto finish = [&](int status) { return FakeLibrary::Finish(send, status); };
        const bool audio = contains(source, ".wav") || contains(source, ".mp3");
        if (args.IsProbe()) {
            if (contains(source, "corrupt"))
                return finish(-1094995529);
            send(TQ9_EVENT_DURATION, 0, 61500);
            send(TQ9_EVENT_STREAM_INFO, 0, audio ? 0x10000 : 27);
            if (!audio) {
                send(TQ9_EVENT_RESOLUTION, 0, Tq9EventPair(160, 120));
                send(TQ9_EVENT_STREAM_INFO, 1, 0x15002);
            }
            finish(0);
            if (contains(source, "cancelme") && self->afterProbe)
                self->afterProbe();
            return 0;
        }
        if (contains(source, "noseek") && args.Out("-ss") == "5")
            return finish(-1094995529);
        const std::string output = args.output->path;
        const int fd = ::open(output.c_str(), O_WRONLY | O_TRUNC | O_CREAT, 0644);
        const std::string bytes = "converted " + source;
        [[maybe_unused]] ssize_t n = ::write(fd, bytes.data(), bytes.size());
        ::close(fd);
        if (contains(source, "meet")) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            while (self->mostAtOnce < 2 && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        if (contains(source, "slow") && !contains(output, ".thm")) {
            ++self->slowStarted;
            send(TQ9_EVENT_DURATION, 0, 61500);
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            for (int pos = 0; std::chrono::steady_clock::now() < until; pos += 10) {
                if (send(TQ9_EVENT_POSITION, 0, pos % 61500) != 0) {
                    ++self->slowStopped;
                    return finish(-1);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        if (contains(source, "failpass") && args.Out("-pass") == "1")
            return finish(-EIO);
        if (contains(source, "short"))
            send(TQ9_EVENT_OUTPUT_LENGTH, 0, 2500);
        return finish(0);
    }

    // Under m_lock.
    void Count()
    {
        mostAtOnce = std::max(mostAtOnce.load(), m_running);
        if (m_videoRunning > 0)
            mostBesideVideo = std::max(mostBesideVideo.load(), m_running);
    }

    FakeLibrary m_library;
    std::mutex m_lock;
    int m_running = 0, m_videoRunning = 0; // under m_lock
};

class ImporterTest : public ImportFixture {
protected:
    std::string Photo(const std::string& name)
    {
        QImage image(64, 48, QImage::Format_RGB888);
        image.fill(Qt::red);
        const fs::path p = pc / name;
        EXPECT_TRUE(image.save(QString::fromStdString(p.string())));
        return p.string();
    }
    std::string Mrk(const std::string& name) { return HexBytes(ReadFile(card / name)); }

    CImporter importer;
    FakeMediaLibrary library;
};

TEST_F(ImporterTest, PrepareRefusesWholeDropsAndListsUnknownTypes)
{
    const std::string clip = Source("clip.mov");
    const std::string notes = Source("notes.txt");
    fs::create_directories(pc / "folder");

    EXPECT_EQ(importer.Prepare((card / "missing").string(), {clip}, 0), CImporter::RESULT_NOT_DIRECTORY);
    EXPECT_EQ(importer.BuildErrorMessage(CImporter::RESULT_NOT_DIRECTORY),
              "The " + (card / "missing").string() + " is not directry attribution.\n");
    EXPECT_EQ(importer.Prepare(card.string(), {clip, (pc / "folder").string()}, 0), CImporter::RESULT_HAS_DIRECTORY);
    EXPECT_EQ(importer.Prepare(card.string(), {(pc / "gone.mov").string()}, 0), CImporter::RESULT_CANNOT_OPEN);
    EXPECT_TRUE(Names(tmp).empty()) << "a refused drop reserves nothing";

    EXPECT_EQ(importer.Prepare(card.string(), {notes}, 0), CImporter::RESULT_NOT_IMPORTED);
    EXPECT_TRUE(importer.Records().empty());

    // Working files live in a private folder of the run: names another import holds in the temporary
    // folder neither block this one nor get touched.
    WriteFile(tmp / "clip.mp4", "theirs");
    WriteFile(tmp / "clip_mov.thm", "theirs");
    EXPECT_EQ(importer.Prepare(card.string(), {Source("song.wav"), clip}, 0), 0);
    EXPECT_EQ(importer.Records()[1].destMediaPath, (card / "clip.mp4").string());
    const fs::path work = fs::path(importer.Records()[0].tempMediaPath).parent_path();
    EXPECT_EQ(work.parent_path(), fs::path(tmp));
    EXPECT_EQ(fs::status(work).permissions(), fs::perms::owner_all);
    EXPECT_EQ(ReadFile(tmp / "clip_mov.thm"), "theirs");
    fs::remove(tmp / "clip.mp4");
    fs::remove(tmp / "clip_mov.thm");

    EXPECT_EQ(importer.Prepare(card.string(), {clip, notes}, 0), 0);
    ASSERT_EQ(importer.Records().size(), 1u);
    ASSERT_EQ(importer.FailedSources().size(), 1u);
    EXPECT_EQ(importer.FailedSources()[0].path, notes);
    EXPECT_EQ(importer.FailedSources()[0].outcome.cause, JobCause::KindRefused);
    EXPECT_EQ(importer.GetFileCount(), 1);
    EXPECT_EQ(importer.GetCurrentFileName(), importer.Records()[0].sourcePath);
}

TEST_F(ImporterTest, PrepareUsesTheCopyRecordsDuringTheProgramsOwnDrag)
{
    const int r = importer.Prepare(card.string(), {Source("clip.mov")}, 0, CTQ9ImportSystemFile::Variant::Copy);
    ASSERT_EQ(r, 0);
    EXPECT_EQ(importer.Records()[0].kind, KIND_VIDEO | KIND_COPY);

    WaitingFrontEnd frontEnd;
    EXPECT_EQ(importer.Run(frontEnd), 0);
    EXPECT_EQ(frontEnd.endState, STATE_DONE) << "placed on the card before the progress ends";
    EXPECT_EQ(ReadFile(card / "clip.mov"), "source bytes") << "copied byte for byte";
    EXPECT_EQ(ReadFile(card / "clip.thm"), "converted " + (pc / "clip.mov").string());
    EXPECT_TRUE(Names(tmp).empty());
}

TEST_F(ImporterTest, MessagesFollowTheBitOrderAndTheFailureTextListsEachSource)
{
    EXPECT_EQ(importer.BuildErrorMessage(0), "Error not found.\n");
    // Causes that share a line show it once; the job's lines come before the card's.
    EXPECT_EQ(importer.BuildErrorMessage(kResultCardRemoved | kResultFolderFull | kResultNotImported),
              "Impossible to import file. Including invalid file.\n"
              "Number of file in this folder exceeds limit.\n"
              "The card was removed, or its driver stopped, while it was written.\n");
    EXPECT_EQ(importer.BuildErrorMessage(CImporter::RESULT_CANNOT_OPEN), "Invalid file type.\nCannot open file.\n");

    EXPECT_EQ(ImportReportText(importer, 1), "Import canceled.");
    EXPECT_EQ(ImportReportText(importer, 0), "");
    EXPECT_EQ(ImportFailureText(importer), "");

    const std::string notes = Source("notes.txt");
    ASSERT_EQ(importer.Prepare(card.string(), {notes}, 0), CImporter::RESULT_NOT_IMPORTED);
    const std::string line = "Impossible to import file. Including invalid file.\n";
    const std::string why = notes + ": this kind of file cannot be put on the card\n";
    EXPECT_EQ(ImportFailureText(importer), "\n\nfilename\n" + line + why);
    EXPECT_EQ(ImportReportText(importer, CImporter::RESULT_NOT_IMPORTED), line + "\n\nfilename\n" + line + why);
}

TEST_F(ImporterTest, ConvertsEveryKindAndMovesResultsWithSidecarsOntoTheCard)
{
    const std::string clip = Source("clip.mov");
    const std::string song = Source("song.wav");
    const std::string photo = Photo("photo.png");
    const std::string corrupt = Source("corrupt.avi");
    const std::string notes = Source("notes.txt");
    ASSERT_EQ(importer.Prepare(card.string(), {clip, song, photo, corrupt, notes}, 0), 0);

    WaitingFrontEnd frontEnd;
    const int result = importer.Run(frontEnd);

    EXPECT_EQ(result, CImporter::RESULT_NOT_IMPORTED);
    EXPECT_EQ(Names(card), (std::vector<std::string>{"clip.mp4", "clip.mrk", "clip.thm", "photo.jpg", "photo.thm",
                                                     "song.mp3", "song.mrk"}));
    EXPECT_EQ(ReadFile(card / "clip.mp4"), "converted " + clip);
    EXPECT_EQ(Mrk("clip.mrk"), "0000003D") << "61500 ms is 61 s";
    EXPECT_EQ(Mrk("song.mrk"), "0000003D");
    EXPECT_EQ(QImage(QString::fromStdString((card / "photo.thm").string())).size(), QSize(48, 36));
    EXPECT_TRUE(Names(tmp).empty());

    // Unknown type first (from Prepare), then the file that failed to probe.
    ASSERT_EQ(importer.FailedSources().size(), 2u);
    EXPECT_EQ(importer.FailedSources()[0].path, notes);
    EXPECT_EQ(importer.FailedSources()[1].path, corrupt);
    EXPECT_EQ(importer.FailedSources()[1].outcome.cause, JobCause::NotMedia);

    // The job is ready for the next drop.
    EXPECT_EQ(importer.GetState(), STATE_RUNNING);
    EXPECT_EQ(importer.GetFileIndex(), 0);
    EXPECT_EQ(importer.GetFileCount(), 0);

    // Video: probe, conversion with the device options, thumbnail frame.
    auto calls = library.Calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_TRUE(calls[0].IsProbe());
    EXPECT_EQ(calls[0].Source(), clip);
    EXPECT_EQ(calls[1].Out("-vcodec"), "mpeg4");
    EXPECT_EQ(calls[2].Out("-vframes"), "1");
}

TEST_F(ImporterTest, MarkerTakesTheWrittenLengthAndAMissingLatePictureTakesTheFirst)
{
    ASSERT_EQ(importer.Prepare(card.string(), {Source("short.mov"), Source("short.aac"), Source("noseek.mov")}, 0), 0);
    WaitingFrontEnd frontEnd;
    EXPECT_EQ(importer.Run(frontEnd), 0);
    EXPECT_EQ(Mrk("short.mrk"), "00000002") << "the 2.5 s written, not the 61.5 s probed";
    EXPECT_EQ(Mrk("short_aac.mrk"), "00000002");
    EXPECT_EQ(ReadFile(card / "noseek.thm"), "converted " + (pc / "noseek.mov").string());
    const auto calls = library.Calls();
    const auto last = std::find_if(calls.rbegin(), calls.rend(), [](const ArgView& a) { return a.Out("-vframes") == "1"; });
    ASSERT_NE(last, calls.rend());
    EXPECT_TRUE(contains(last->Source(), "noseek"));
    EXPECT_FALSE(last->output->Has("-ss")) << "the fallback starts at the first picture";
}

TEST_F(ImporterTest, CancelDuringTheSecondFileLeavesNothingOnTheCardOrInTheTemporaryFolder)
{
    const std::string first = Source("first.mov");
    const std::string second = Source("slow.mov");
    const std::string third = Source("third.wav");
    ASSERT_EQ(importer.Prepare(card.string(), {first, second, third}, 0), 0);

    CancellingFrontEnd frontEnd([&](IConvProgress& job) { return job.GetFileIndex() == 1 && library.slowStarted; });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(importer.Run(frontEnd), JOB_RESULT_CANCELED);

    EXPECT_TRUE(library.slowStopped) << "the cancel asks the running conversion to stop";
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_TRUE(importer.FailedSources().empty()) << "the stopped conversion is no failure";
    EXPECT_TRUE(Names(card).empty());
    EXPECT_TRUE(Names(tmp).empty());
    for (const ArgView& call : library.Calls())
        EXPECT_NE(call.Source(), third) << "nothing runs after the cancel";
}

TEST_F(ImporterTest, CancelBetweenTwoStepsStartsNoFurtherConversion)
{
    const std::string clip = Source("slow_cancelme.mov");
    ASSERT_EQ(importer.Prepare(card.string(), {clip}, 0), 0);
    // The user cancels after the probe ended and before the conversion began: the converter forgets a
    // stop request made between operations, so only the job's state can stop the next step.
    library.afterProbe = [&] { CancelJob(importer); };
    CancellingFrontEnd frontEnd([](IConvProgress& job) { return job.GetState() != STATE_RUNNING; });

    EXPECT_EQ(importer.Run(frontEnd), JOB_RESULT_CANCELED);
    EXPECT_EQ(library.Calls().size(), 1u) << "only the probe ran";
    EXPECT_FALSE(library.slowStarted);
    EXPECT_TRUE(Names(card).empty());
    EXPECT_TRUE(Names(tmp).empty());
}

TEST_F(ImporterTest, TwoPassRunsEveryVideoTwiceAndAFailedFirstPassFailsTheFile)
{
    importer.SetTwoPass(1);
    const std::string good = Source("good.mov");
    const std::string bad = Source("failpass.mov");
    ASSERT_EQ(importer.Prepare(card.string(), {good, bad}, 0), 0);
    const std::string passLog = importer.Records()[0].passLogPath;
    WaitingFrontEnd frontEnd;
    EXPECT_EQ(importer.Run(frontEnd), CImporter::RESULT_NOT_IMPORTED);
    EXPECT_EQ(frontEnd.endState, STATE_FAILED) << "a file was left out";

    std::vector<std::string> goodPasses;
    int badPasses = 0;
    for (const ArgView& call : library.Calls()) {
        const bool pass1 = call.Out("-pass") == "1";
        if (!pass1 && call.Out("-pass") != "2")
            continue;
        if (call.Source() != good) {
            ++badPasses;
            continue;
        }
        goodPasses.push_back(pass1 ? "1" : "2");
        EXPECT_EQ(call.Out("-passlogfile"), passLog);
    }
    EXPECT_EQ(goodPasses, (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(badPasses, 1);
    EXPECT_EQ(Names(card), (std::vector<std::string>{"good.mp4", "good.mrk", "good.thm"}));
    ASSERT_EQ(importer.FailedSources().size(), 1u);
    EXPECT_EQ(importer.FailedSources()[0].path, bad);
    EXPECT_TRUE(Names(tmp).empty());
}

TEST_F(ImporterTest, CardFolderRemovedBeforeTheMoveReportsEverySourceAsCardRemoved)
{
    const std::string clip = Source("clip.mov");
    const std::string song = Source("song_cancelme.wav");
    ASSERT_EQ(importer.Prepare(card.string(), {clip, song}, 0), 0);
    // Gone while the last source converts, before the results are placed.
    library.afterProbe = [&] { fs::remove_all(card); };
    WaitingFrontEnd frontEnd;

    const int result = importer.Run(frontEnd);

    EXPECT_EQ(result, kResultCardRemoved);
    ASSERT_EQ(importer.FailedSources().size(), 2u);
    for (const auto& failed : importer.FailedSources())
        EXPECT_EQ(failed.outcome.cause, JobCause::CardRemoved) << failed.path;
    EXPECT_EQ(ImportReportText(importer, result).rfind("The card was removed, or its driver stopped", 0), 0u);
    EXPECT_TRUE(Names(tmp).empty());
    EXPECT_FALSE(fs::exists(card)) << "nothing recreates the removed folder";
}

TEST_F(ImporterTest, SoundAndStillsConvertTwoAtATimeVideoAloneAndResultsKeepTheRecordOrder)
{
    // The first failure comes back last (it lags), the second first; the "meet" songs convert only side
    // by side. A photo shares a lane with the songs; the clips run alone.
    const std::vector<std::string> sources = {Source("clip.mov"),      Source("lag_corrupt_a.wav"),
                                              Source("corrupt_b.wav"), Source("c.wav"),
                                              Source("meet_d.wav"),    Source("meet_e.mp3"),
                                              Photo("photo.png"),      Source("clip2.mov")};
    ASSERT_EQ(importer.Prepare(card.string(), sources, 0), 0);
    WaitingFrontEnd frontEnd;
    EXPECT_EQ(importer.Run(frontEnd), CImporter::RESULT_NOT_IMPORTED);

    EXPECT_EQ(library.mostAtOnce, 2);
    EXPECT_EQ(library.mostBesideVideo, 1) << "a video conversion fills both cores alone";
    ASSERT_EQ(importer.FailedSources().size(), 2u);
    EXPECT_EQ(importer.FailedSources()[0].path, sources[1]);
    EXPECT_EQ(importer.FailedSources()[1].path, sources[2]);
    EXPECT_EQ(Names(card), (std::vector<std::string>{"c.mp3", "c.mrk", "clip.mp4", "clip.mrk", "clip.thm",
                                                     "clip2.mp4", "clip2.mrk", "clip2.thm", "meet_d.mp3",
                                                     "meet_d.mrk", "meet_e.mp3", "meet_e.mrk", "photo.jpg",
                                                     "photo.thm"}));
    // Each lane's result lands as its own record's.
    EXPECT_EQ(ReadFile(card / "meet_d.mp3"), "converted " + sources[4]);
    EXPECT_EQ(ReadFile(card / "meet_e.mp3"), "converted " + sources[5]);
    EXPECT_EQ(Mrk("meet_e.mrk"), "0000003D");
    EXPECT_TRUE(Names(tmp).empty());
}

TEST_F(ImporterTest, CancelWhileTwoSongsConvertStopsBothAndShowsTheFirst)
{
    const std::string first = Source("slow_a.wav");
    const std::string second = Source("slow_b.wav");
    const std::string third = Source("third.wav");
    ASSERT_EQ(importer.Prepare(card.string(), {first, second, third}, 0), 0);

    int indexShown = -1;
    std::string nameShown;
    CancellingFrontEnd frontEnd([&](IConvProgress& job) {
        if (library.slowStarted < 2)
            return false;
        indexShown = job.GetFileIndex();
        nameShown = job.GetCurrentFileName();
        return true;
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(importer.Run(frontEnd), JOB_RESULT_CANCELED);

    EXPECT_EQ(indexShown, 0);
    EXPECT_EQ(nameShown, first) << "the oldest file still converting";
    EXPECT_EQ(library.slowStopped, 2) << "the cancel reaches both lanes";
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_TRUE(Names(card).empty());
    EXPECT_TRUE(Names(tmp).empty());
    for (const ArgView& call : library.Calls())
        EXPECT_NE(call.Source(), third) << "nothing starts after the cancel";
}

// Runs hook at each of the placement's questions whether to stop (before each part of an item is staged
// on the card, and before they take their names).
class PlacementHook : public CImporter {
public:
    explicit PlacementHook(std::function<void(CImporter&)> hook) : m_hook(std::move(hook)) {}

protected:
    bool StopPlacement() override
    {
        m_hook(*this);
        return CImporter::StopPlacement();
    }

private:
    std::function<void(CImporter&)> m_hook;
};

TEST_F(ImporterTest, ACancelDuringThePlacementKeepsTheFailuresAndNamesWhatLanded)
{
    const std::string corrupt = Source("corrupt.mp3");
    const std::string first = Source("first.wav");
    const std::string second = Source("second.wav");
    const std::string third = Source("third.wav");
    // The card loses the first item's part staged first; the cancel comes once the second has landed.
    bool lost = false;
    PlacementHook job([&](CImporter& self) {
        for (const auto& e : fs::directory_iterator(card))
            if (!lost && e.path().filename().string().rfind(".tq9-part-", 0) == 0)
                lost = fs::remove(e.path());
        if (fs::exists(card / "second.mp3"))
            CancelJob(self);
    });
    ASSERT_EQ(job.Prepare(card.string(), {corrupt, first, second, third}, 0), 0);
    WaitingFrontEnd frontEnd;

    ASSERT_EQ(job.Run(frontEnd), JOB_RESULT_CANCELED);

    const std::string landed = (card / "second.mp3").string();
    EXPECT_EQ(Names(card), (std::vector<std::string>{"second.mp3", "second.mrk"}));
    EXPECT_EQ(job.Imported(), std::vector<std::string>{landed});
    ASSERT_EQ(job.FailedSources().size(), 2u) << "what the cancel kept off the card did not fail";
    EXPECT_EQ(job.FailedSources()[0].path, corrupt);
    EXPECT_EQ(job.FailedSources()[1].path, first);
    const std::string failures = ImportFailureText(job);
    EXPECT_EQ(ImportReportText(job, JOB_RESULT_CANCELED),
              "Import canceled.\nThese files had arrived on the card before the cancel:\n" + landed + "\n" + failures);
    EXPECT_EQ(ImportReportText(job, JOB_RESULT_CANCELED, false), "Import canceled." + failures);
    EXPECT_TRUE(Names(tmp).empty());
}

} // namespace

TEST(ImporterTwoPassTest, BothPassesSweepTheBarOnceFromZeroToHundred)
{
    EXPECT_EQ(CImporter::TwoPassPercent(0, 40), 40);
    EXPECT_EQ(CImporter::TwoPassPercent(1, 0), 0);
    EXPECT_EQ(CImporter::TwoPassPercent(1, 100), 50);
    EXPECT_EQ(CImporter::TwoPassPercent(2, 0), 50);
    EXPECT_EQ(CImporter::TwoPassPercent(2, 100), 100);
}
