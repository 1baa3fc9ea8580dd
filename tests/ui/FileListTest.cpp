// The file list kept current by the folder observer, and what it does with folders and files that
// change under it.
#include "GuiFixture.h"

#include "platform/ReadLease.h"
#include "ui/FileListModel.h"

#include <QElapsedTimer>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <thread>

using namespace tq9;
using namespace tq9test;

class FileListTest : public GuiFixture {};

TEST_F(FileListTest, FilesCreatedAndRemovedOnDiskShowWithoutUserAction)
{
    const fs::path device = AddCard("card");
    const fs::path folder = device / "TQ9_0001";
    Start();
    Select(folder);
    ASSERT_EQ(List().RowCount(), 0);

    PlaceFile(folder / "a.jpg", "jpeg");
    PlaceFile(folder / "a.thm", "thm"); // a sidecar is no row of its own
    EXPECT_TRUE(WaitFor([&] { return List().RowCount() == 1; }));
    List().selectAll();
    List().setCurrentIndex(List().model()->index(0, 0));
    PlaceFile(folder / "0.bmp", "bmp"); // takes the first row
    EXPECT_TRUE(WaitFor([&] { return List().RowCount() == 2; }));
    // The selected file stays selected and current across the refresh; the new one is not selected.
    ASSERT_EQ(List().SelectedCount(), 1);
    EXPECT_EQ(List().selectionModel()->selectedRows().front().data().toString().toStdString(), "a.jpg");
    EXPECT_EQ(List().currentIndex().row(), 1);
    fs::remove(folder / "a.jpg");
    EXPECT_TRUE(WaitFor([&] { return List().RowCount() == 1; }));
    EXPECT_EQ(List().SelectedCount(), 0);

    // A folder that is not shown is refreshed in the cache only.
    PlaceFile(device / "TQ9_0002" / "b.wav", "wav");
    EXPECT_TRUE(WaitFor([&] {
        auto cached = List().CachedCopy((device / "TQ9_0002").string());
        return cached && cached->size() == 1;
    }));
    EXPECT_EQ(Column(0), (std::vector<std::string>{"0.bmp"}));
}

TEST_F(FileListTest, AFileStillBeingWrittenIsListedOnlyOnceClosed)
{
    const fs::path device = AddCard("card");
    const fs::path folder = device / "TQ9_0001";
    Start();
    Select(folder);

    const fs::path recording = folder / "rec.mp4";
    const int fd = ::open(recording.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "data", 4), 4);
    if (CReadLease::CanReadExclusively(recording.string())) {
        ::close(fd);
        GTEST_SKIP() << "this file system cannot tell files open for writing";
    }
    PlaceFile(folder / "other.bmp", "bmp"); // a second change, so the list has surely re-read the folder
    EXPECT_TRUE(WaitFor([&] { return List().RowCount() == 1; }));
    EXPECT_EQ(Column(0), (std::vector<std::string>{"other.bmp"}));
    ::close(fd);

    // No change report follows the close; the list looks again by itself.
    EXPECT_TRUE(WaitFor([&] { return List().RowCount() == 2; }));
}

TEST_F(FileListTest, AShownFolderDeletedOnDiskEmptiesTheList)
{
    const fs::path device = AddCard("card");
    const fs::path folder = device / "TQ9_0001";
    WriteFile(folder / "a.jpg", "jpeg");
    WriteFile(folder / "b.mp3", "mp3");
    Start();
    Select(folder);
    ASSERT_EQ(List().RowCount(), 2);

    fs::remove_all(folder);
    EXPECT_TRUE(WaitFor([&] { return List().RowCount() == 0; }));
    // The tree lets the node go with the folder, without an error.
    EXPECT_TRUE(WaitFor([&] { return !Tree().SelectByPath(folder.string()); }));
    Select(device / "TQ9_0002");
    EXPECT_EQ(List().RowCount(), 0);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(FileListTest, RowsAreDrawnFromMemoryReadOncePerListing)
{
    const fs::path device = AddCard("card");
    const fs::path folder = device / "TQ9_0001";
    // More rows than the first screen's batch: the rest arrive from the pool.
    for (int i = 0; i < 300; ++i)
        WriteFile(folder / ("clip" + std::to_string(i) + ".jpg"), std::string(1500, 'j'));
    Start();
    Select(folder);
    ASSERT_EQ(List().RowCount(), 300);
    ASSERT_TRUE(WaitFor([&] { return List().Model()->TextsRead(); }));
    const std::vector<std::string> sizes = Column(2);
    EXPECT_EQ(sizes, std::vector<std::string>(300, sizes.front()));
    EXPECT_FALSE(sizes.front().empty());
    // The files go while the list still has their rows (the observer's report has not been handled
    // yet): drawing them reads no disk, so they show what was read, until the report takes them away.
    for (int i = 0; i < 300; ++i)
        fs::remove(folder / ("clip" + std::to_string(i) + ".jpg"));
    EXPECT_EQ(Column(2), sizes);
    EXPECT_TRUE(WaitFor([&] { return List().RowCount() == 0; }));
}

// A listing runs off the UI thread and lands in one step with its first rows' texts; one that a newer
// listing overtook (a folder switched while a slow card was still being read) stops and never lands.
TEST_F(FileListTest, AListingOvertakenByANewerOneStopsAndNeverLands)
{
    const std::string left = (m_dir / "left" / "a.jpg").string(), shown = (m_dir / "shown" / "b.jpg").string();
    fs::create_directories(m_dir / "left");
    fs::create_directories(m_dir / "shown");
    WriteFile(left, "jpeg");
    WriteFile(shown, std::string(2500, 'b'));
    CFileListModel model;
    std::promise<void> cardAnswers;
    std::shared_future<void> answered = cardAnswers.get_future().share();
    std::atomic<bool> toldToStop{false};
    std::vector<std::string> landed;
    QElapsedTimer clock;
    clock.start();
    model.List(
        [&](const CFileListModel::Stop& stop, size_t&) {
            answered.wait_for(std::chrono::seconds(10));
            toldToStop = stop();
            return std::make_optional(std::vector<std::string>{left});
        },
        [&](CFileListModel::Listing& listing) {
            landed.push_back("left");
            model.TakeRows(listing);
        });
    EXPECT_LT(clock.elapsed(), 1000) << "the UI thread waited for the card";
    EXPECT_TRUE(model.IsListing());

    model.List([&](const CFileListModel::Stop&, size_t&) { return std::make_optional(std::vector<std::string>{shown}); },
               [&](CFileListModel::Listing& listing) {
                   model.TakeRows(listing);
                   landed.push_back(model.index(0, CFileListModel::ColSize).data().toString().toStdString());
               });
    ASSERT_TRUE(WaitFor([&] { return !model.IsListing(); }));
    cardAnswers.set_value();
    EXPECT_TRUE(WaitFor([&] { return toldToStop.load(); }));
    QTest::qWait(200); // what it read would have landed by now
    EXPECT_EQ(landed, std::vector<std::string>{"2.50 KB"});
    EXPECT_EQ(model.Paths(), std::vector<std::string>{shown});
}

TEST_F(FileListTest, NamesWithSpacesAndNonAsciiCharacters)
{
    const fs::path device = AddCard("カード 1", {1});
    const fs::path folder = device / "TQ9_0001";
    WriteFile(folder / "été clip 1.mp4", std::string(2500, 'x'));
    WriteFile(folder / "été clip 1.mrk", std::string("\x00\x00\x00\x3d", 4));
    CMainFrame& frame = Start();
    EXPECT_EQ(Tree().topLevelItem(0)->text(0).toStdString(), "カード 1");
    Select(folder);
    EXPECT_EQ(Column(0), (std::vector<std::string>{"été clip 1.mp4"}));
    EXPECT_EQ(Column(1), (std::vector<std::string>{"00:01:01"}));
    EXPECT_EQ(Column(2), (std::vector<std::string>{"2.50 KB"}));
    EXPECT_EQ(frame.AddressBar()->History(), (std::vector<std::string>{folder.string()}));
}

TEST_F(FileListTest, AFolderOf128FilesListsThemAll)
{
    const fs::path device = AddCard("card");
    const fs::path folder = device / "TQ9_0001";
    for (int i = 0; i < 128; ++i)
        WriteFile(folder / ("f" + std::to_string(i) + ".jpg"), "jpeg");
    Start();
    Select(folder);
    EXPECT_EQ(List().RowCount(), 128);
}

// Closing the window while an observer report waits for the UI thread must neither hang nor wait for the
// observer's stop timeout, also once the application's event loop has ended (as at the program's end).
TEST_F(FileListTest, ClosingWhileAReportWaitsForTheWindowDoesNotHang)
{
    const fs::path device = AddCard("card");
    const fs::path folder = device / "TQ9_0001";
    Start();
    Select(folder);
    QTimer::singleShot(0, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    for (int i = 0; i < 20; ++i)
        WriteFile(folder / ("f" + std::to_string(i) + ".jpg"), "jpeg");
    // The UI thread does not run its event loop here, so the worker is now stuck in its blocking call.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto start = std::chrono::steady_clock::now();
    m_frame.reset();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(2));
}
