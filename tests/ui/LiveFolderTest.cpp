// Folders that go away or come back under the program: the list must not keep offering files that are
// gone, and showing a folder again must read and watch it afresh.
#include "GuiFixture.h"

#include "observe/FileObserver2.h"

using namespace tq9;
using namespace tq9test;

class LiveFolderTest : public GuiFixture {};

TEST_F(LiveFolderTest, FolderMovedAwayEmptiesTheListAndShowingItAgainWatchesItAgain)
{
    const fs::path device = AddCard("card");
    const fs::path folder = device / "TQ9_0001";
    WriteFile(folder / "a.jpg", "jpeg");
    Start();
    Select(folder);
    ASSERT_EQ(List().RowCount(), 1);

    fs::rename(folder, m_dir / "elsewhere");
    EXPECT_TRUE(WaitFor([&] { return List().RowCount() == 0; })) << "stale rows of a folder that moved away";
    EXPECT_TRUE(WaitFor([&] { return List().CurrentFolder().empty(); })) << "the tree lets it go too";

    // Back at its place (a card put in again): the tree offers it again, and showing it reads it and
    // follows its changes again.
    fs::rename(m_dir / "elsewhere", folder);
    ASSERT_TRUE(WaitFor([&] { return Tree().SelectByPath(folder.string()); }));
    Listed();
    EXPECT_EQ(Column(0), (std::vector<std::string>{"a.jpg"}));
    PlaceFile(folder / "b.jpg", "jpeg");
    EXPECT_TRUE(WaitFor([&] { return List().RowCount() == 2; })) << "the folder is not watched again";
}

TEST_F(LiveFolderTest, FolderDeletedAndMadeAgainIsCurrentOnceShown)
{
    const fs::path device = AddCard("card");
    const fs::path folder = device / "TQ9_0002";
    WriteFile(folder / "a.mp3", "mp3");
    Start();
    Select(device / "TQ9_0001");

    // Not shown: it is listed afresh when asked, so a drop's limit check never counts ghosts.
    fs::remove_all(folder);
    EXPECT_EQ(List().CachedCopy(folder.string()), std::nullopt);
    EXPECT_TRUE(WaitFor([&] { return !Tree().SelectByPath(folder.string()); })) << "its node goes";
    fs::create_directory(folder);
    WriteFile(folder / "c.mp3", "mp3");
    ASSERT_TRUE(WaitFor([&] { return Tree().SelectByPath(folder.string()); })) << "and comes back";
    Listed();
    EXPECT_EQ(Column(0), (std::vector<std::string>{"c.mp3"}));
    PlaceFile(folder / "d.mp3", "mp3");
    EXPECT_TRUE(WaitFor([&] { return List().RowCount() == 2; }));
}
