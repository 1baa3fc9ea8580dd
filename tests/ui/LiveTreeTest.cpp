// The tree kept current while cards and folders come and go under the running program, and what it
// shows when there is no card at all.
#include "GuiFixture.h"

#include "card/CardLayout.h"
#include "res/MessageCatalogue.h"
#include "support/ScratchMount.h"

#include <unistd.h>

using namespace tq9;
using namespace tq9test;

class LiveTreeTest : public GuiFixture {
protected:
    // The folder names under card node index, top to bottom.
    std::vector<std::string> FolderNodes(int card = 0)
    {
        std::vector<std::string> names;
        QTreeWidgetItem* item = Tree().topLevelItem(card);
        for (int i = 0; item && i < item->childCount(); ++i)
            names.push_back(item->child(i)->text(0).toStdString());
        return names;
    }
};

TEST_F(LiveTreeTest, FoldersAreInNumberOrderAndFollowOthersWithoutDuplicates)
{
    const fs::path device = AddCard("card", {10, 2, 1});
    fs::create_directory(device / "TQ9_0100");
    CMainFrame& frame = Start();
    EXPECT_EQ(FolderNodes(), (std::vector<std::string>{"TQ9_0001", "TQ9_0002", "TQ9_0010", "TQ9_0100"}));

    // Another program makes a folder and removes one.
    fs::create_directory(device / "TQ9_0005");
    fs::remove(device / "TQ9_0002");
    EXPECT_TRUE(WaitFor([&] {
        return FolderNodes() == std::vector<std::string>{"TQ9_0001", "TQ9_0005", "TQ9_0010", "TQ9_0100"};
    })) << ::testing::PrintToString(FolderNodes());
    // Its folder is watched and cached like those found at start-up.
    PlaceFile(device / "TQ9_0005" / "a.jpg", "jpeg");
    EXPECT_TRUE(WaitFor([&] {
        auto cached = List().CachedCopy((device / "TQ9_0005").string());
        return cached && cached->size() == 1;
    }));

    // Our own new folder is reported by the watch as well: it must still show once.
    Select(device.parent_path());
    frame.CreateFolderCommand();
    ASSERT_TRUE(fs::is_directory(device / "TQ9_0002"));
    QTest::qWait(300); // time for the watch's report of the new folder
    EXPECT_EQ(FolderNodes(), (std::vector<std::string>{"TQ9_0001", "TQ9_0002", "TQ9_0005", "TQ9_0010", "TQ9_0100"}));
}

TEST_F(LiveTreeTest, RemovedFolderThatIsShownEmptiesTheList)
{
    const fs::path device = AddCard("card", {1, 2});
    WriteFile(device / "TQ9_0002" / "a.jpg", "jpeg");
    Start();
    Select(device / "TQ9_0002");
    ASSERT_EQ(List().RowCount(), 1);
    fs::remove_all(device / "TQ9_0002");
    EXPECT_TRUE(WaitFor([&] { return FolderNodes() == std::vector<std::string>{"TQ9_0001"}; }));
    EXPECT_EQ(List().RowCount(), 0);
    EXPECT_EQ(List().CurrentFolder(), "");
}

TEST_F(LiveTreeTest, CardsThatComeAndGoAreAddedAndRemovedInScanOrder)
{
    const fs::path b = AddCard("b", {1});
    Start();
    ASSERT_EQ(Tree().topLevelItemCount(), 1);
    Select(b / "TQ9_0001");

    // A card found by a later scan (a mount seen by the mount watch) goes where the scan finds it.
    const fs::path a = m_dir / "a";
    MakeCard(a, {3});
    CCardRoots::ClearExtraRoots();
    CCardRoots::AddExtraRoot(a.string());
    CCardRoots::AddExtraRoot((m_dir / "b").string());
    Tree().Rescan();
    Settled();
    ASSERT_EQ(Tree().topLevelItemCount(), 2);
    EXPECT_EQ(Tree().topLevelItem(0)->text(0).toStdString(), "a");
    EXPECT_EQ(FolderNodes(0), (std::vector<std::string>{"TQ9_0003"}));
    EXPECT_EQ(List().CurrentFolder(), (b / "TQ9_0001").string()) << "a new card leaves the selection alone";
    // Scans asked for while one reads cost one more, and change nothing that did not change.
    const QTreeWidgetItem* selected = Tree().currentItem();
    Tree().Rescan();
    Tree().Rescan();
    Tree().Rescan();
    Settled();
    EXPECT_EQ(Tree().topLevelItemCount(), 2) << "a rescan adds nothing twice";
    EXPECT_EQ(Tree().currentItem(), selected) << "the node was made anew or the selection moved";
    EXPECT_EQ(List().CurrentFolder(), (b / "TQ9_0001").string());

    // The card that is shown goes: its nodes go and the list empties.
    fs::remove_all(m_dir / "b" / "TQ-9");
    EXPECT_TRUE(WaitFor([&] { return Tree().topLevelItemCount() == 1; })) << "the device folder's watch ends";
    EXPECT_EQ(Tree().topLevelItem(0)->text(0).toStdString(), "a");
    EXPECT_EQ(List().RowCount(), 0);
    EXPECT_FALSE(List().isEnabled());
    EXPECT_FALSE(Tree().HasSelection());
}

TEST_F(LiveTreeTest, EmptyTreeSaysHowToGetACard)
{
    Start();
    ASSERT_EQ(Tree().topLevelItemCount(), 0);
    const std::string hint = CLeftView::EmptyHint().toStdString();
    EXPECT_NE(hint.find("--card-root"), std::string::npos) << hint;
    // It is drawn into the empty tree.
    QImage shot(Tree().viewport()->size(), QImage::Format_RGB32);
    shot.fill(Qt::white);
    Tree().viewport()->render(&shot);
    bool inked = false;
    for (int y = 0; y < shot.height() && !inked; ++y)
        for (int x = 0; x < shot.width() && !inked; ++x)
            inked = shot.pixelColor(x, y) != Tree().palette().color(QPalette::Base);
    EXPECT_TRUE(inked) << "the hint is not drawn";
}

TEST_F(LiveTreeTest, RemainingSpaceIsCurrentAfterADeletion)
{
    // A small card, so that the 32 MB freed show in the pane's three figures.
    std::string skip;
    const auto volume = tq9test::ScratchMount::Tmpfs("64m", skip);
    if (!volume)
        GTEST_SKIP() << skip;
    const fs::path device = tq9test::MakeCard(volume->Path(), {1});
    tq9::CCardRoots::AddExtraRoot(volume->Path().string());
    const fs::path folder = device / "TQ9_0001";
    WriteFile(folder / "big.mp4", std::string(32 << 20, 'v'));
    ::sync();
    CMainFrame& frame = Start();
    Select(folder);
    const std::string before = frame.RemainingSpacePaneText().toStdString();
    List().selectAll();
    frame.DeleteFileCommand();
    ASSERT_FALSE(fs::exists(folder / "big.mp4"));
    EXPECT_TRUE(WaitFor([&] { return frame.RemainingSpacePaneText().toStdString() != before; }))
        << "32 MB freed and not shown";
    m_frame.reset(); // before the card goes
}

TEST_F(LiveTreeTest, AMountedVolumeThatBecomesACardAppearsAndGoesWhenItStopsBeingOne)
{
    // Mounted before the program started, formatted by the device while the program runs: no mount change
    // tells of it.
    const fs::path volume = m_dir / "volume";
    fs::create_directories(volume);
    WriteFile(m_dir / "mounts", "/dev/sdz1 " + volume.string() + " vfat rw 0 0\n");
    Start();
    ASSERT_EQ(Tree().topLevelItemCount(), 0);

    MakeCard(volume, {1});
    ASSERT_TRUE(WaitFor([&] { return Tree().topLevelItemCount() == 1; }, 8000));
    EXPECT_EQ(FolderNodes(), std::vector<std::string>{"TQ9_0001"});

    // Its marker goes (the device folder stays, so no watch of the tree's ends).
    fs::remove(CCardLayout::MarkerPath(CCardLayout::DeviceFolder(volume.string())));
    EXPECT_TRUE(WaitFor([&] { return Tree().topLevelItemCount() == 0; }, 8000));
}
