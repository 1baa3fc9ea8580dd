// The files a drag hands over: the names fixed at the start, what the export leaves under them, and what
// is removed when (a cancelled export, the next drag, a run that died).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <QUrl>

#include "jobs/DragOutData.h"
#include "jobs/DragOutSource.h"
#include "jobs/FakeFrontEnds.h"
#include "jobs/ImportFixture.h"
#include "support/FileOpTestSupport.h"

using namespace tq9;
using namespace tq9test;

namespace {

// Writes a working file per exportable source into the temporary folder, as the export job does, and
// answers with a chosen result.
class FakeExport : public CDragOutSource::IExport {
public:
    explicit FakeExport(fs::path tmp) : m_tmp(std::move(tmp)) {}
    int result = 0;
    int Prepare(const std::vector<std::string>& sources) override
    {
        m_files.clear();
        for (const std::string& source : sources) {
            const std::string name = fs::path(source).filename().string();
            if (name.ends_with(".thm")) {
                m_files.emplace_back();
                continue;
            }
            m_files.push_back((m_tmp / ("work-" + std::to_string(m_files.size()) + "-" + name)).string());
            WriteFile(m_files.back(), ReadFile(source));
        }
        return 0;
    }
    int Run(IProgressFrontEnd&) override { return result; }
    std::vector<std::string> WorkingFiles() const override { return m_files; }
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

class DragOutSourceTest : public ImportFixture {
protected:
    std::vector<std::string> TempNames() const { return Names(tmp); }
};

} // namespace

TEST_F(DragOutSourceTest, NamesAreFixedAtTheStartAndFilledByTheExport)
{
    WriteFile(card / "photo.jpg", Blob(3000, 1));
    WriteFile(card / "photo.thm", "t");
    WriteFile(card / "clip.mp4", "not a recording of the device");
    const fs::path second = device / "TQ9_0002";
    fs::create_directories(second);
    WriteFile(second / "photo.jpg", Blob(10, 2));

    CDragOutSource files({(card / "photo.jpg").string(), (card / "photo.thm").string(), (card / "clip.mp4").string(),
                          (second / "photo.jpg").string()});
    ASSERT_EQ(files.HandOverPaths().size(), 3u);
    const fs::path folder = fs::path(files.HandOverPaths()[0]).parent_path();
    EXPECT_EQ(folder.parent_path(), tmp);
    EXPECT_EQ(files.HandOverPaths(), (std::vector<std::string>{(folder / "photo.jpg").string(), (folder / "clip.mp4").string(),
                                                                (folder / "photo (2).jpg").string()}));
    EXPECT_EQ(TempNames(), std::vector<std::string>{}); // nothing exists before the drop

    FakeExport job(tmp);
    WaitingFrontEnd frontEnd;
    ASSERT_EQ(files.Export(job, frontEnd), 0);
    EXPECT_EQ(ReadFile(folder / "photo.jpg"), Blob(3000, 1));
    EXPECT_EQ(ReadFile(folder / "photo (2).jpg"), Blob(10, 2));
    EXPECT_EQ(TempNames(), std::vector<std::string>{folder.filename().string()});

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

TEST_F(DragOutSourceTest, ACancelledOrFailedExportHandsOverNothingAndLeavesNothing)
{
    WriteFile(card / "photo.jpg", "x");
    for (int result : {1, static_cast<int>(0x80000020u)}) {
        CDragOutSource files({(card / "photo.jpg").string()});
        FakeExport job(tmp);
        job.result = result;
        WaitingFrontEnd frontEnd;
        EXPECT_EQ(files.Export(job, frontEnd), result);
        EXPECT_TRUE(files.HandOverPaths().empty());
        EXPECT_TRUE(TempNames().empty());
    }
}

TEST_F(DragOutSourceTest, LeftoversOfDeadProcessesAndOfThisOneGoOthersStay)
{
    const std::string prefix = CDragOutSource::kFolderPrefix;
    // A pid that no longer runs: a child that has been reaped.
    const pid_t dead = fork();
    if (dead == 0)
        _exit(0);
    waitpid(dead, nullptr, 0);
    for (const std::string& name : {prefix + std::to_string(dead) + "-1", prefix + std::to_string(::getpid()) + "-3",
                                    prefix + "1-1" /* init runs */, std::string("unrelated")})
    {
        fs::create_directories(tmp / name);
        WriteFile(tmp / name / "photo.jpg", "x");
    }

    CDragOutSource::RemoveLeftovers();
    EXPECT_EQ(TempNames(), (std::vector<std::string>{prefix + "1-1", "unrelated"}));
}
