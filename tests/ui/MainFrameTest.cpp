// The main window on a card made by the test: what the tree, the list and the status bar show, and the
// create-folder and delete commands.
#include "GuiFixture.h"

#include "card/CardFolder.h"
#include "card/CardLayout.h"
#include "platform/FileSystem.h"
#include "res/MessageCatalogue.h"
#include "res/MessageCatalogueJa.h"
#include "support/FileOpTestSupport.h"
#include "support/ScratchMount.h"
#include "ui/AddressBar.h"

#include <QComboBox>
#include <QSplitter>

#include <algorithm>
#include <cstdlib>
#include <set>

using namespace tq9;
using namespace tq9test;

namespace {

// A clip with both sidecars, a still with its thumbnail, a loose sidecar and a file of another type.
void FillFolder(const fs::path& folder)
{
    WriteFile(folder / "clip.mp4", std::string(1000000, 'v'));
    WriteFile(folder / "clip.thm", "thm");
    WriteFile(folder / "clip.mrk", std::string("\x00\x00\x0e\x11", 4));
    WriteFile(folder / "photo.jpg", std::string(999, 'j'));
    WriteFile(folder / "photo.thm", "thm");
    WriteFile(folder / "notes.txt", "not media");
    WriteFile(folder / "orphan.mrk", std::string(4, '\0'));
}

} // namespace

class MainFrameTest : public GuiFixture {};

TEST_F(MainFrameTest, StartsWithTheCardsFoldersAndIdleStatus)
{
    const fs::path device = AddCard("card one", {1, 2});
    CMainFrame& frame = Start();

    EXPECT_EQ(frame.windowTitle().toStdString(), "TQ-9 Image Converter");
    EXPECT_EQ(frame.size(), QSize(600, 400));
    EXPECT_EQ(frame.Splitter()->sizes().value(0), 200);
    EXPECT_EQ(frame.MessagePaneText().toStdString(), "Ready.");
    EXPECT_EQ(frame.RemainingSpacePaneText().toStdString(), "") << "no card selected, no space to tell";

    ASSERT_EQ(Tree().topLevelItemCount(), 1);
    QTreeWidgetItem* card = Tree().topLevelItem(0);
    EXPECT_EQ(card->text(0).toStdString(), "card one");
    EXPECT_TRUE(card->isExpanded());
    std::vector<std::string> folders;
    for (int i = 0; i < card->childCount(); ++i)
        folders.push_back(card->child(i)->text(0).toStdString());
    std::sort(folders.begin(), folders.end());
    EXPECT_EQ(folders, (std::vector<std::string>{"TQ9_0001", "TQ9_0002"}));
    EXPECT_FALSE(List().isEnabled());
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(MainFrameTest, SelectingAFolderListsItsMediaWithTheirTexts)
{
    const fs::path device = AddCard("card");
    FillFolder(device / "TQ9_0001");
    CMainFrame& frame = Start();
    Select(device / "TQ9_0001");

    ASSERT_TRUE(List().isEnabled());
    std::vector<std::string> names = Column(0);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"clip.mp4", "photo.jpg"}));
    for (int row = 0; row < List().RowCount(); ++row) {
        const bool clip = Column(0)[row] == "clip.mp4";
        EXPECT_EQ(Column(1)[row], clip ? "01:00:01" : "00:00:00");
        EXPECT_EQ(Column(2)[row], clip ? "1.00 MB" : CCardFolder::SizeTextOf((device / "TQ9_0001" / "photo.jpg").string()));
        EXPECT_EQ(Column(3)[row].size(), 19u) << Column(3)[row]; // "YYYY/MM/DD hh:mm:ss"
    }
    const std::string pane = frame.RemainingSpacePaneText().toStdString();
    // The disk is shared with other programs that write while the test runs: the pane is compared with the
    // texts of a fresh reading give or take 1 GB.
    const auto now = CFileSystem::FreeBytes((device / "TQ9_0001").string());
    ASSERT_TRUE(now);
    std::set<std::string> near;
    for (int64_t delta = -1000000000; delta <= 1000000000; delta += 1000000)
        near.insert(CCardLayout::RemainingSpaceText(static_cast<uint64_t>(std::max<int64_t>(0, *now + delta))));
    EXPECT_TRUE(near.count(pane)) << pane;
    EXPECT_EQ(frame.AddressBar()->History(), (std::vector<std::string>{(device / "TQ9_0001").string()}));

    // The card's own node shows nothing and disables the list.
    Select(device.parent_path());
    EXPECT_EQ(List().RowCount(), 0);
    EXPECT_FALSE(List().isEnabled());
    EXPECT_EQ(List().CurrentFolder(), "");
}

TEST_F(MainFrameTest, CreateFolderTakesTheLowestFreeNumberOnTheSelectedCard)
{
    const fs::path device = AddCard("card", {1, 2, 4});
    CMainFrame& frame = Start();

    frame.CreateFolderCommand();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].text, "Select exporting folder.");
    EXPECT_EQ(m_messages[0].caption, "TQ-9 Image Converter");
    EXPECT_FALSE(fs::exists(device / "TQ9_0003"));

    Select(device.parent_path());
    frame.CreateFolderCommand();
    EXPECT_TRUE(fs::is_directory(device / "TQ9_0003"));
    QTreeWidgetItem* card = Tree().topLevelItem(0);
    ASSERT_EQ(card->childCount(), 4);
    EXPECT_EQ(card->child(2)->text(0).toStdString(), "TQ9_0003") << "folders are in number order";

    // From a folder node the next one goes to the same card, and it is watched like the others.
    Select(device / "TQ9_0001");
    frame.CreateFolderCommand();
    EXPECT_TRUE(fs::is_directory(device / "TQ9_0005"));
    Select(device / "TQ9_0005");
    PlaceFile(device / "TQ9_0005" / "new.jpg", "jpeg");
    EXPECT_TRUE(WaitFor([&] { return List().RowCount() == 1; }));
    EXPECT_EQ(m_messages.size(), 1u);
}

TEST_F(MainFrameTest, CreateFolderReportsAFullCard)
{
    std::vector<int> all;
    for (int n = 1; n <= 127; ++n)
        all.push_back(n);
    const fs::path device = AddCard("full", all);
    CMainFrame& frame = Start();
    Select(device.parent_path());
    frame.CreateFolderCommand();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].text, "Failed to make folder.\nThe card holds as many folders as the device allows (127).");
    EXPECT_EQ(Tree().topLevelItem(0)->childCount(), 127);
}

TEST_F(MainFrameTest, DeleteAsksAndRemovesTheFileWithItsSidecars)
{
    const fs::path device = AddCard("card");
    const fs::path folder = device / "TQ9_0001";
    FillFolder(folder);
    CMainFrame& frame = Start();
    Select(folder);

    frame.DeleteFileCommand();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].text, "Select deleting file.");

    const std::vector<std::string> names = Column(0);
    const int clipRow = static_cast<int>(std::find(names.begin(), names.end(), "clip.mp4") - names.begin());
    List().selectionModel()->select(List().model()->index(clipRow, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);

    m_answer = CMessageBox::Answer::Cancel;
    frame.DeleteFileCommand();
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages[1].text, "Delete \"clip.mp4\"?");
    EXPECT_EQ(m_messages[1].buttons, CMessageBox::Buttons::OkCancel);
    EXPECT_TRUE(fs::exists(folder / "clip.mp4"));
    EXPECT_EQ(List().SelectedCount(), 1);

    m_answer = CMessageBox::Answer::Ok;
    frame.DeleteFileCommand();
    Listed();
    EXPECT_EQ(m_messages.size(), 3u); // only the question: success shows nothing
    EXPECT_FALSE(fs::exists(folder / "clip.mp4"));
    EXPECT_FALSE(fs::exists(folder / "clip.thm"));
    EXPECT_FALSE(fs::exists(folder / "clip.mrk"));
    EXPECT_TRUE(fs::exists(folder / "photo.jpg"));
    EXPECT_TRUE(fs::exists(folder / "photo.thm"));
    EXPECT_EQ(Column(0), (std::vector<std::string>{"photo.jpg"}));
    EXPECT_EQ(List().SelectedCount(), 0);
}

TEST_F(MainFrameTest, DeleteLeavesASidecarNameThatAFolderOrALinkHoldsAndSaysSo)
{
    const fs::path device = AddCard("card");
    const fs::path folder = device / "TQ9_0001";
    WriteFile(folder / "clip.mp4", "video");
    fs::create_directories(folder / "clip.thm"); // a folder under the sidecar's name
    WriteFile(folder / "clip.thm" / "keep.txt", "the user's");
    WriteFile(m_dir / "outside.mrk", std::string("\0\0\0\5", 4));
    fs::create_symlink(m_dir / "outside.mrk", folder / "clip.mrk");
    WriteFile(folder / "song.mp3", "sound");
    WriteFile(folder / "song.mrk", std::string("\0\0\0\5", 4));
    CMainFrame& frame = Start();
    Select(folder);
    List().selectAll();

    frame.DeleteFileCommand();
    Listed();
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages[0].text, "Delete 2 files?");
    EXPECT_EQ(m_messages[1].text,
              "clip.thm is a folder; it was left in place.\nclip.mrk is not a regular file; it was left in place.\n");
    EXPECT_EQ(m_messages[1].buttons, CMessageBox::Buttons::Ok);
    EXPECT_EQ(Names(folder), (std::vector<std::string>{"clip.mrk", "clip.thm"}));
    EXPECT_EQ(ReadFile(folder / "clip.thm" / "keep.txt"), "the user's");
    EXPECT_TRUE(fs::is_symlink(folder / "clip.mrk"));
    EXPECT_TRUE(fs::exists(m_dir / "outside.mrk")) << "nothing is deleted through the link";
    EXPECT_EQ(List().RowCount(), 0);

    // In Japanese too (the list sees the new file by itself).
    CMessageCatalogue::Install(JapaneseCatalogue());
    WriteFile(folder / "clip.mp4", "video");
    ASSERT_TRUE(WaitFor([&] { return List().RowCount() == 1; }));
    List().selectAll();
    frame.DeleteFileCommand();
    CMessageCatalogue::Reset();
    ASSERT_EQ(m_messages.size(), 4u);
    EXPECT_EQ(m_messages[3].text, "clip.thm はフォルダなので、削除せずに残しました。\n"
                                  "clip.mrk は通常のファイルではないので、削除せずに残しました。\n");
}

// The cause reaches the window's message as it does tq9's (a make-folder cause: CreateFolderReportsAFullCard).
TEST_F(MainFrameTest, DeleteOnAReadOnlyCardSaysWhy)
{
    std::string why;
    auto mount = ScratchMount::Tmpfs("1m", why);
    if (!mount)
        GTEST_SKIP() << why;
    const fs::path folder = MakeCard(mount->Path(), {1}) / "TQ9_0001";
    WriteFile(folder / "clip.mp4", "video");
    CCardRoots::AddExtraRoot(mount->Path().string());
    ASSERT_TRUE(mount->Remount("ro")); // a write-protected card
    CMainFrame& frame = Start();
    Select(folder);
    List().selectAll();

    frame.DeleteFileCommand();
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages[1].text, "Failed to delete file.\nThe card is write-protected or read-only.");
    EXPECT_TRUE(fs::exists(folder / "clip.mp4"));
}

TEST_F(MainFrameTest, AddressBarKeepsUniquePathsMostRecentFirstAndNavigates)
{
    const fs::path device = AddCard("card", {1, 2});
    CMainFrame& frame = Start();
    const std::string a = (device / "TQ9_0001").string();
    const std::string b = (device / "TQ9_0002").string();
    Select(a);
    Select(b);
    Select(a);
    EXPECT_EQ(frame.AddressBar()->History(), (std::vector<std::string>{a, b}));
    EXPECT_EQ(frame.AddressBar()->HistoryBox()->currentIndex(), 0);

    // Picking B from the drop-down list selects it in the tree and brings it to the top.
    QComboBox* box = frame.AddressBar()->HistoryBox();
    box->setCurrentIndex(1);
    emit box->activated(1);
    EXPECT_EQ(Tree().SelectedPath(), b);
    EXPECT_EQ(List().CurrentFolder(), b);
    EXPECT_EQ(frame.AddressBar()->History(), (std::vector<std::string>{b, a}));

    // Letter case makes a different path; a path the tree does not know changes nothing.
    CAddressBar bar;
    bar.ShowFolder("/x/Folder");
    bar.ShowFolder("/x/folder");
    EXPECT_EQ(bar.History(), (std::vector<std::string>{"/x/folder", "/x/Folder"}));
    QObject::connect(&bar, &CAddressBar::FolderChosen, &Tree(), &CLeftView::SelectByPath);
    bar.HistoryBox()->setCurrentIndex(1);
    emit bar.HistoryBox()->activated(1);
    EXPECT_EQ(Tree().SelectedPath(), b);
    EXPECT_EQ(bar.HistoryBox()->currentIndex(), 0);
    EXPECT_EQ(bar.History(), (std::vector<std::string>{"/x/folder", "/x/Folder"}));
}
