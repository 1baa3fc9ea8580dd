// The files a drag hands over: the names fixed at the start, what the export leaves under them, and what
// is removed when (a cancelled export, the next drag, a run that died).
#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include <QUrl>

#include "jobs/DragOutData.h"
#include "jobs/DragOutExport.h"
#include "jobs/DragOutSource.h"
#include "jobs/Exporter.h"
#include "jobs/FakeFrontEnds.h"
#include "jobs/ImportFixture.h"
#include "support/FileOpTestSupport.h"
#include "support/ScratchMount.h"
#include "support/XvfbDisplay.h"

using namespace tq9;
using namespace tq9test;

namespace {

// Writes a working file per exportable source into the folder it is given, as the export job does (a
// short name with the extension of what it made: an mp4 that is no recording of the device stays mp4),
// and answers with a chosen result; sources named in failing get no file.
class FakeExport : public CDragOutSource::IExport {
public:
    explicit FakeExport(fs::path) {}
    int result = 0;
    std::vector<std::string> failing;
    std::string parentSeen;
    int Prepare(const std::vector<std::string>& sources, const std::string& parent) override
    {
        parentSeen = parent;
        m_files.clear();
        for (const std::string& source : sources) {
            const std::string name = fs::path(source).filename().string();
            if (name.ends_with(".thm") || std::find(failing.begin(), failing.end(), name) != failing.end()) {
                m_files.emplace_back();
                continue;
            }
            m_files.push_back((fs::path(parent) / (std::to_string(m_files.size()) + fs::path(name).extension().string())).string());
            WriteFile(m_files.back(), ReadFile(source));
        }
        return 0;
    }
    int Run(IProgressFrontEnd&) override { return result; }
    std::vector<std::string> WorkingFiles() const override { return m_files; }
    std::string FailureText(bool handedOver) const override
    {
        return failing.empty() ? std::string() : (handedOver ? "some failed" : "all failed");
    }
    void DeleteWorkingFiles() override
    {
        for (const std::string& file : m_files)
            if (!file.empty())
                fs::remove(file);
    }

private:
    fs::path m_tmp;
    std::vector<std::string> m_files;
};

// A job that runs until its state is changed, behind the front-end it is given.
class SteadyJob : public CJobBase {
public:
    int GetFileCount() override { return 1; }
    int GetPercent() override { return 40; }
    std::string GetCurrentFileName() override { return "photo.jpg"; }
    int Run(IProgressFrontEnd& frontEnd)
    {
        SetState(STATE_RUNNING);
        return frontEnd.RunModal(*this) == FRONTEND_CANCELED ? 1 : 0;
    }

protected:
    void WorkerMain() override {}
};

class SteadyExport : public FakeExport {
public:
    using FakeExport::FakeExport;
    SteadyJob job;
    int Run(IProgressFrontEnd& frontEnd) override { return job.Run(frontEnd); }
};

class DragOutSourceTest : public ImportFixture {
protected:
    std::vector<std::string> TempNames() const { return Names(tmp); }
};

} // namespace

TEST_F(DragOutSourceTest, NamesAreFixedAtTheStartAndFilledByTheExport)
{
    WriteFile(card / "photo.jpg", Blob(3000, 1));
    WriteFile(card / "photo.thm", "t");
    WriteFile(card / "clip.mp4", "not a recording of the device, and never opened before the drop");
    const fs::path second = device / "TQ9_0002";
    fs::create_directories(second);
    WriteFile(second / "photo.jpg", Blob(10, 2));

    CDragOutSource files({(card / "photo.jpg").string(), (card / "photo.thm").string(), (card / "clip.mp4").string(),
                          (second / "photo.jpg").string()});
    ASSERT_EQ(files.HandOverPaths().size(), 3u);
    const fs::path folder = fs::path(files.HandOverPaths()[0]).parent_path();
    EXPECT_EQ(folder.parent_path(), tmp);
    // A card mp4 is named as the device's recording without opening it: no probe before the drag.
    EXPECT_EQ(files.HandOverPaths(), (std::vector<std::string>{(folder / "photo.jpg").string(), (folder / "clip.wmv").string(),
                                                                (folder / "photo (2).jpg").string()}));
    EXPECT_EQ(TempNames(), std::vector<std::string>{}); // nothing exists before the drop

    FakeExport job(tmp);
    WaitingFrontEnd frontEnd;
    ASSERT_EQ(files.Export(job, frontEnd), 0);
    EXPECT_EQ(job.parentSeen, tmp.string());
    EXPECT_EQ(ReadFile(folder / "photo.jpg"), Blob(3000, 1));
    EXPECT_EQ(ReadFile(folder / "photo (2).jpg"), Blob(10, 2));
    // The export found another coding: the file is handed over as it is, under its own extension.
    EXPECT_EQ(files.HandOverPaths()[1], (folder / "clip.mp4").string());
    EXPECT_EQ(ReadFile(folder / "clip.mp4"), "not a recording of the device, and never opened before the drop");
    EXPECT_EQ(TempNames(), std::vector<std::string>{folder.filename().string()});
    EXPECT_TRUE(files.FailureText().empty());

    // The list a target reads names exactly those files.
    CDragOutData data({(card / "photo.jpg").string()}, files.HandOverPaths());
    ASSERT_EQ(data.urls().size(), 3);
    EXPECT_EQ(data.urls()[2].toLocalFile().toStdString(), (folder / "photo (2).jpg").string());
    EXPECT_EQ(CDragOutData::CardPaths(data), std::vector<std::string>{(card / "photo.jpg").string()});
    data.Withhold();
    EXPECT_FALSE(data.hasUrls() && !data.urls().isEmpty());

    files.RemoveCopies();
    EXPECT_TRUE(TempNames().empty());
}

TEST_F(DragOutSourceTest, ACancelledOrWhollyFailedExportHandsOverNothingAndLeavesNothing)
{
    WriteFile(card / "photo.jpg", "x");
    for (int result : {1, static_cast<int>(0x80000020u)}) {
        CDragOutSource files({(card / "photo.jpg").string()});
        FakeExport job(tmp);
        job.result = result;
        if (result != 1)
            job.failing = {"photo.jpg"};
        WaitingFrontEnd frontEnd;
        EXPECT_EQ(files.Export(job, frontEnd), result);
        EXPECT_TRUE(files.HandOverPaths().empty());
        EXPECT_TRUE(TempNames().empty());
        EXPECT_EQ(files.FailureText(), result == 1 ? "" : "all failed");
    }
}

TEST_F(DragOutSourceTest, FilesThatFailedAreLeftOutAndTheOthersHandedOver)
{
    WriteFile(card / "a.jpg", "a");
    WriteFile(card / "b.jpg", "b");
    WriteFile(card / "c.jpg", "c");
    CDragOutSource files({(card / "a.jpg").string(), (card / "b.jpg").string(), (card / "c.jpg").string()});
    const fs::path folder = fs::path(files.HandOverPaths()[0]).parent_path();
    FakeExport job(tmp);
    job.result = static_cast<int>(0x80000020u);
    job.failing = {"b.jpg"};
    WaitingFrontEnd frontEnd;
    EXPECT_EQ(files.Export(job, frontEnd), 0);
    EXPECT_EQ(files.HandOverPaths(), (std::vector<std::string>{(folder / "a.jpg").string(), (folder / "c.jpg").string()}));
    EXPECT_EQ(Names(folder), (std::vector<std::string>{"a.jpg", "c.jpg"}));
    EXPECT_EQ(files.FailureText(), "some failed");
}

TEST_F(DragOutSourceTest, CopiesGoOnlyWhenNoProcessHasThemOpenAndTheTargetHadTime)
{
    const std::string prefix = CDragOutSource::kFolderPrefix;
    // A pid that no longer runs: a child that has been reaped.
    const pid_t dead = fork();
    if (dead == 0)
        _exit(0);
    waitpid(dead, nullptr, 0);
    const std::string self = prefix + std::to_string(::getpid());
    const std::string deadOld = prefix + std::to_string(dead) + "-1", selfOld = self + "-3", selfNew = self + "-4",
                      inUse = self + "-5", initOld = prefix + "1-1" /* init runs */;
    for (const std::string& name : {deadOld, selfOld, selfNew, inUse, initOld, std::string("unrelated")}) {
        fs::create_directories(tmp / name);
        WriteFile(tmp / name / "photo.jpg", "x");
        WriteFile(tmp / name / "next.jpg", "y");
    }
    // A file manager copying a queue: it has the first file open and has not come to the next yet.
    const ProcessResult started = RunProcess({"sh", "-c", "exec 3<\"$0\"; sleep 30 >/dev/null 2>&1 & echo $!",
                                              (tmp / inUse / "photo.jpg").string()});
    const pid_t reader = std::stoi(started.out);
    // Handed over long ago, except selfNew.
    const auto longAgo = fs::file_time_type::clock::now() - std::chrono::hours(1);
    for (const std::string& name : {deadOld, selfOld, inUse, initOld})
        fs::last_write_time(tmp / name, longAgo);

    EXPECT_EQ(CDragOutSource::RemoveLeftovers(), 2);
    EXPECT_EQ(TempNames(), (std::vector<std::string>{initOld, selfNew, inUse, "unrelated"}));
    EXPECT_EQ(Names(tmp / inUse), (std::vector<std::string>{"next.jpg", "photo.jpg"}));
    // Seen in use: the grace starts again, so the reader's next file is still there after it closes this one.
    EXPECT_GT(fs::last_write_time(tmp / inUse), longAgo + std::chrono::minutes(30));
    ::kill(reader, SIGKILL);
    const fs::path held = "/proc/" + std::to_string(reader) + "/fd/3";
    for (int i = 0; i < 100 && fs::exists(held); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(CDragOutSource::RemoveLeftovers(), 2);
    fs::last_write_time(tmp / inUse, longAgo);
    EXPECT_EQ(CDragOutSource::RemoveLeftovers(), 1);
    EXPECT_EQ(TempNames(), (std::vector<std::string>{initOld, selfNew, "unrelated"}));
}

TEST_F(DragOutSourceTest, TheSweepTakesOnlyTheProgramsOwnCopiesFromFoldersNamedAsItNamesThem)
{
    const std::string prefix = CDragOutSource::kFolderPrefix;
    TempDir outside;
    WriteFile(outside / "thesis.doc", "mine");
    // A user's folder that merely starts like ours, and one of ours holding more than copies.
    const std::string usersOwn = prefix + "notes", crowded = prefix + "1999999999-1";
    for (const std::string& name : {usersOwn, crowded}) {
        fs::create_directories(tmp / name / "sub");
        WriteFile(tmp / name / "photo.jpg", "x");
        WriteFile(tmp / name / "sub" / "kept.txt", "k");
        fs::create_symlink(outside / "thesis.doc", tmp / name / "link.doc");
        fs::last_write_time(tmp / name, fs::file_time_type::clock::now() - std::chrono::hours(1));
    }

    CDragOutSource::RemoveLeftovers();
    EXPECT_EQ(Names(tmp / usersOwn), (std::vector<std::string>{"link.doc", "photo.jpg", "sub"}));
    EXPECT_EQ(Names(tmp / crowded), (std::vector<std::string>{"link.doc", "sub"})) << "only the regular file goes";
    EXPECT_EQ(ReadFile(tmp / crowded / "sub" / "kept.txt"), "k");
    EXPECT_EQ(ReadFile(outside / "thesis.doc"), "mine");
}

TEST_F(DragOutSourceTest, CopiesTooBigForTheTemporaryFolderGoToTheCacheFolder)
{
    TQ9_MOUNT_OR_SKIP(small, Tmpfs("1m", why));
    WriteFile(card / "big.avi", Blob(3 << 20, 3));
    WriteFile(card / "clip.mp4", "a recording");
    WriteFile(card / "clip.mrk", std::string("\0\0\x04\xb0", 4)); // 20 minutes: about 930 MB as WMV
    ::setenv("TMPDIR", small->Path().c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);

    const CDragOutSource files({(card / "big.avi").string()});
    EXPECT_EQ(fs::path(files.HandOverPaths()[0]).parent_path().parent_path(), dir / "cache/tq9-image-converter");
    // A recording counts by its .mrk length at the WMV's rates, without opening it.
    EXPECT_GT(CExporter::EstimateBytes((card / "clip.mp4").string()), 900u << 20);
    ::unsetenv("XDG_CACHE_HOME");
}

TEST_F(DragOutSourceTest, TheBackgroundExportShowsTheJobWhileItRunsItsEndAfterAndACancelReachesTheJob)
{
    using namespace std::chrono_literals;
    WriteFile(card / "photo.jpg", Blob(500, 3));
    for (bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled" : "finished");
        CDragOutSource files({(card / "photo.jpg").string()});
        SteadyExport job(tmp);
        CDragOutExport run(files, job);
        std::atomic<bool> ended{false};
        run.Start([&] { ended = true; });
        ASSERT_TRUE(WaitUntil([&] { return run.Running(); }, 5s));
        EXPECT_EQ(run.GetState(), STATE_RUNNING);
        EXPECT_EQ(run.GetPercent(), 40);
        if (cancel)
            CancelJob(run); // the dialog's Cancel
        else
            job.job.SetState(STATE_DONE);
        ASSERT_TRUE(WaitUntil([&] { return ended.load(); }, 5s));
        run.Wait();
        EXPECT_EQ(run.Result(), cancel ? 1 : 0);
        EXPECT_EQ(run.GetState(), cancel ? STATE_CANCELED : STATE_DONE);
        EXPECT_EQ(run.GetFileIndex(), 1);
        EXPECT_EQ(TempNames().empty(), cancel);
        files.RemoveCopies();
    }
}
