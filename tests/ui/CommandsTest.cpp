// The commands that do without dragging: File > Import... and Export..., Edit > Duplicate to..., the
// context menus of the list and the tree (right button, Menu key, Shift+F10), which commands are enabled,
// what gets selected afterwards, and what the status bar says. The choosers are answered by the test.
#include "GuiFixture.h"

#include "res/MessageCatalogue.h"
#include "res/MessageCatalogueJa.h"
#include "support/FileOpTestSupport.h"
#include "ui/FileChooser.h"
#include "ui/OpenFile.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>

using namespace tq9;
using namespace tq9test;

namespace {

fs::path Still(const fs::path& path)
{
    fs::create_directories(path.parent_path());
    fs::copy_file(SynthMedia("ui-still.jpg", {"-f", "lavfi", "-i", "testsrc=size=64x48", "-frames:v", "1"}), path,
                  fs::copy_options::overwrite_existing);
    return path;
}

class CommandsTest : public GuiFixture {
protected:
    void SetUp() override
    {
        GuiFixture::SetUp();
        CFileChooser::SetHook([this](CFileChooser::Kind kind, const CFileChooser::CardFolders* offered) {
            m_asked.push_back(kind);
            if (offered)
                m_offered = *offered;
            return m_choice;
        });
        COpenFile::SetHook([this](const std::string& path) {
            m_opened.push_back(path);
            return true;
        });
    }
    void TearDown() override
    {
        CFileChooser::SetHook({});
        COpenFile::SetHook({});
        GuiFixture::TearDown();
    }

    std::vector<std::string> SelectedNames()
    {
        std::vector<std::string> names;
        for (const std::string& path : List().SelectedPaths())
            names.push_back(fs::path(path).filename().string());
        return names;
    }
    void SelectRows(const std::vector<int>& rows)
    {
        List().clearSelection();
        for (int row : rows)
            List().selectionModel()->select(List().model()->index(row, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    void Key(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        m_frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_frame.get()));
        QTest::keyClick(widget, key, modifiers);
    }
    // The open context menu's entries ("-" for a separator, "(x)" around a disabled one).
    std::vector<std::string> MenuEntries(QWidget* view)
    {
        QMenu* menu = nullptr;
        WaitFor([&] {
            menu = view->findChild<QMenu*>(QStringLiteral("contextMenu"));
            return menu && menu->isVisible();
        });
        std::vector<std::string> entries;
        if (!menu)
            return entries;
        for (QAction* action : menu->actions()) {
            const std::string text = QString(action->text()).remove(QLatin1Char('&')).toStdString();
            entries.push_back(action->isSeparator() ? "-" : action->isEnabled() ? text : "(" + text + ")");
        }
        menu->close();
        QTest::qWait(0); // the menu deletes itself once closed
        return entries;
    }

    std::vector<std::string> m_choice;
    std::vector<CFileChooser::Kind> m_asked;
    CFileChooser::CardFolders m_offered;
    std::vector<std::string> m_opened;
};

} // namespace

TEST_F(CommandsTest, CtrlIImportsIntoTheShownFolderAndSelectsWhatCameIn)
{
    const fs::path device = AddCard("card");
    const fs::path folder = device / "TQ9_0001";
    WriteFile(folder / "older.jpg", "j");
    CMainFrame& frame = Start();
    EXPECT_FALSE(frame.ImportAction()->isEnabled()) << "no folder to import into";

    Select(folder);
    ASSERT_TRUE(frame.ImportAction()->isEnabled());
    m_choice = {Still(m_dir / "pc/holiday.jpg").string(), Still(m_dir / "pc/beach.jpg").string()};
    Key(&frame, Qt::Key_I, Qt::ControlModifier);
    Listed();

    EXPECT_EQ(m_asked, std::vector<CFileChooser::Kind>{CFileChooser::Kind::ImportFiles});
    EXPECT_TRUE(m_messages.empty()) << m_messages.front().text;
    EXPECT_EQ(Column(0), (std::vector<std::string>{"beach.jpg", "holiday.jpg", "older.jpg"}));
    EXPECT_EQ(SelectedNames(), (std::vector<std::string>{"beach.jpg", "holiday.jpg"}));
    EXPECT_EQ(List().currentIndex().row(), 0);

    // The folder limit, as for a drop: nothing is asked of the importer.
    for (int i = 0; i < 126; ++i)
        WriteFile(folder / ("f" + std::to_string(i) + ".jpg"), "j");
    frame.ImportCommand();
    EXPECT_TRUE(SawMessage("Number of file in this folder exceeds limit."));
    EXPECT_FALSE(fs::exists(folder / "holiday_0.jpg"));
}

TEST_F(CommandsTest, ADropOnAnotherTreeFolderShowsThatFolderWithTheNewFileSelected)
{
    const fs::path device = AddCard("card", {1, 2});
    WriteFile(device / "TQ9_0002" / "a.jpg", "j");
    Start();
    Select(device / "TQ9_0001");

    EXPECT_TRUE(Drop(Tree().viewport(), NodePoint(device / "TQ9_0002"), {Still(m_dir / "pc/b.jpg")}));
    Listed();
    EXPECT_EQ(List().CurrentFolder(), (device / "TQ9_0002").string());
    EXPECT_EQ(Tree().SelectedPath(), (device / "TQ9_0002").string());
    EXPECT_EQ(Column(0), (std::vector<std::string>{"a.jpg", "b.jpg"}));
    EXPECT_EQ(SelectedNames(), std::vector<std::string>{"b.jpg"});
}

TEST_F(CommandsTest, CtrlEExportsTheSelectionIntoTheChosenFolderRenamingTakenNames)
{
    const fs::path device = AddCard("card");
    const fs::path folder = device / "TQ9_0001";
    WriteFile(folder / "photo.jpg", Blob(3000, 1));
    WriteFile(folder / "photo.thm", "t");
    WriteFile(folder / "song.mp3", Blob(5000, 2));
    WriteFile(folder / "song.mrk", std::string(4, '\0'));
    const fs::path out = m_dir / "out";
    fs::create_directories(out);
    WriteFile(out / "photo.jpg", "mine");
    CMainFrame& frame = Start();
    Select(folder);
    EXPECT_FALSE(frame.ExportAction()->isEnabled()) << "nothing selected";

    SelectRows({0, 1});
    ASSERT_TRUE(frame.ExportAction()->isEnabled());
    m_choice = {out.string()};
    Key(List().viewport(), Qt::Key_E, Qt::ControlModifier);

    EXPECT_EQ(m_asked, std::vector<CFileChooser::Kind>{CFileChooser::Kind::ExportFolder});
    EXPECT_TRUE(m_messages.empty()) << m_messages.front().text;
    EXPECT_EQ(Names(out), (std::vector<std::string>{"photo (2).jpg", "photo.jpg", "song.mp3"}));
    EXPECT_EQ(ReadFile(out / "photo.jpg"), "mine");
    EXPECT_EQ(ReadFile(out / "photo (2).jpg"), Blob(3000, 1));
    EXPECT_EQ(ReadFile(out / "song.mp3"), Blob(5000, 2));
    EXPECT_EQ(frame.statusBar()->currentMessage().toStdString(), "2 files exported");

    // A file that went while the chooser was open: the message names it and why, and the other arrives.
    fs::remove_all(out);
    fs::create_directories(out);
    CFileChooser::SetHook([&](CFileChooser::Kind, const CFileChooser::CardFolders*) {
        fs::remove(folder / "song.mp3");
        return std::vector<std::string>{out.string()};
    });
    frame.ExportCommand();
    ASSERT_FALSE(m_messages.empty());
    EXPECT_NE(m_messages.back().text.find("The card was removed, or the file is no longer on it.\n" +
                                          (folder / "song.mp3").string()),
              std::string::npos)
        << m_messages.back().text;
    EXPECT_EQ(Names(out), std::vector<std::string>{"photo.jpg"});
}

TEST_F(CommandsTest, AnExportWaitingForAnotherRunWritingIntoTheFolderSaysSoAndCancelEndsIt)
{
    const fs::path device = AddCard("card");
    const fs::path folder = device / "TQ9_0001";
    WriteFile(folder / "photo.jpg", Blob(3000, 1));
    const fs::path out = m_dir / "out";
    fs::create_directories(out);
    CMainFrame& frame = Start();
    Select(folder);
    SelectRows({0});
    m_choice = {out.string()};
    std::string status;
    qint64 cancelToReturn = -1;
    {
        OtherRunsLock lock(out);
        frame.ExportCommand();
        cancelToReturn = lock.sinceCancel.isValid() ? lock.sinceCancel.elapsed() : -1;
        status = lock.status;
    }
    EXPECT_EQ(status, "Waiting for another run writing into " + out.string() + " ...");
    EXPECT_GE(cancelToReturn, 0);
    EXPECT_LT(cancelToReturn, 1000) << "the wait is checked every 100 ms";
    EXPECT_TRUE(m_messages.empty()) << "the dialog said it was cancelled";
    EXPECT_TRUE(fs::is_empty(out));
}

TEST_F(CommandsTest, DuplicateToOffersTheOtherCardFoldersAndCopiesWithSidecars)
{
    const fs::path device = AddCard("card", {1, 2});
    const fs::path from = device / "TQ9_0001", to = device / "TQ9_0002";
    WriteFile(from / "clip.mp4", Blob(4000, 3));
    WriteFile(from / "clip.thm", "t");
    WriteFile(from / "clip.mrk", std::string("\0\0\0\2", 4));
    CMainFrame& frame = Start();
    Select(from);
    EXPECT_FALSE(frame.DuplicateAction()->isEnabled());
    SelectRows({0});
    m_choice = {to.string()};
    frame.DuplicateAction()->trigger();

    ASSERT_EQ(m_offered.cards.size(), 1u);
    EXPECT_EQ(m_offered.cards[0].name, "card");
    EXPECT_EQ(m_offered.cards[0].folders, (std::vector<std::string>{from.string(), to.string()}));
    EXPECT_EQ(m_offered.excluded, from.string());
    EXPECT_TRUE(m_messages.empty()) << m_messages.front().text;
    EXPECT_EQ(Names(to), (std::vector<std::string>{"clip.mp4", "clip.mrk", "clip.thm"}));
    EXPECT_EQ(ReadFile(to / "clip.mp4"), Blob(4000, 3));
    EXPECT_EQ(frame.statusBar()->currentMessage().toStdString(), "1 file duplicated");
}

TEST_F(CommandsTest, CommandsThatCannotApplyAreDisabledRatherThanAskingForASelection)
{
    const fs::path device = AddCard("card", {1});
    WriteFile(device / "TQ9_0001" / "a.jpg", "j");
    CMainFrame& frame = Start();
    auto enabled = [&] {
        std::string state;
        for (QAction* action : {frame.ImportAction(), frame.ExportAction(), frame.DuplicateAction(),
                                frame.CreateFolderAction(), frame.DeleteFileAction()})
            state += action->isEnabled() ? '1' : '0';
        return state;
    };
    EXPECT_EQ(enabled(), "00000") << "import, export, duplicate, new folder, delete";
    Select(device.parent_path());
    EXPECT_EQ(enabled(), "00010");
    Select(device / "TQ9_0001");
    EXPECT_EQ(enabled(), "10010");
    SelectRows({0});
    EXPECT_EQ(enabled(), "11111");
    // Ctrl+I, Ctrl+E and Delete with nothing to act on do nothing and say nothing.
    List().clearSelection();
    Key(List().viewport(), Qt::Key_Delete);
    Key(List().viewport(), Qt::Key_E, Qt::ControlModifier);
    EXPECT_TRUE(m_messages.empty());
    EXPECT_TRUE(m_asked.empty());
    EXPECT_TRUE(fs::exists(device / "TQ9_0001" / "a.jpg"));
}

TEST_F(CommandsTest, ContextMenusOpenByButtonMenuKeyAndShiftF10)
{
    const fs::path device = AddCard("card", {1, 2});
    const fs::path folder = device / "TQ9_0001";
    WriteFile(folder / "a.jpg", "j");
    WriteFile(folder / "b.jpg", "j");
    Start();
    Select(folder);

    // The right button on a row that is not selected selects it first.
    SelectRows({0});
    const QRect row1 = List().visualRect(List().model()->index(1, 0));
    QContextMenuEvent press(QContextMenuEvent::Mouse, row1.center(), List().viewport()->mapToGlobal(row1.center()));
    QApplication::sendEvent(List().viewport(), &press);
    const std::vector<std::string> rowMenu = {"Open", "-", "Export...", "Duplicate to...", "-", "Delete", "-",
                                              "Show in File Manager"};
    EXPECT_EQ(MenuEntries(&List()), rowMenu);
    EXPECT_EQ(SelectedNames(), std::vector<std::string>{"b.jpg"});

    // The Menu key (the window system's keyboard request) and Shift+F10 open it beside the current row.
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(1, 1), List().mapToGlobal(QPoint(1, 1)));
    QApplication::sendEvent(&List(), &menuKey);
    EXPECT_EQ(MenuEntries(&List()), rowMenu);
    Key(&List(), Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(MenuEntries(&List()), rowMenu);

    // The tree's: a card's node cannot take an import.
    Tree().setFocus();
    Select(device.parent_path());
    Key(&Tree(), Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_EQ(MenuEntries(&Tree()),
              (std::vector<std::string>{"(Import...)", "New Folder", "Refresh", "-", "Show in File Manager", "-", "Eject"}));
    const QPoint node = NodePoint(device / "TQ9_0002");
    QContextMenuEvent onNode(QContextMenuEvent::Mouse, node, Tree().viewport()->mapToGlobal(node));
    QApplication::sendEvent(Tree().viewport(), &onNode);
    EXPECT_EQ(MenuEntries(&Tree()),
              (std::vector<std::string>{"Import...", "New Folder", "Refresh", "-", "Show in File Manager", "-", "Eject"}));
    EXPECT_EQ(Tree().SelectedPath(), (device / "TQ9_0002").string());

    for (QAction* action : m_frame->findChildren<QAction*>())
        if (action->text() == "Show in File &Manager" && action->isEnabled())
            action->trigger();
    EXPECT_EQ(m_opened, (std::vector<std::string>{(device / "TQ9_0002").string()}))
        << "the list's entry has no selection in TQ9_0002; the tree's opens the folder";
}

TEST_F(CommandsTest, ANewFolderIsSelectedAndTheLastFolderIsShownAgainAtTheNextStart)
{
    const fs::path device = AddCard("card", {1});
    CMainFrame& frame = Start();
    Select(device / "TQ9_0001");
    frame.CreateFolderCommand();
    EXPECT_EQ(Tree().SelectedPath(), (device / "TQ9_0002").string());
    EXPECT_EQ(List().CurrentFolder(), (device / "TQ9_0002").string());

    m_frame->close();
    Start();
    EXPECT_EQ(List().CurrentFolder(), (device / "TQ9_0002").string());
    EXPECT_EQ(Tree().SelectedPath(), (device / "TQ9_0002").string());

    // A folder that is gone by the next start leaves the tree as it is.
    m_frame->close();
    fs::remove_all(device / "TQ9_0002");
    Start();
    EXPECT_EQ(List().CurrentFolder(), "");
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(CommandsTest, TheStatusBarSumsUpTheSelectionAndTellsWhatWasDeleted)
{
    const fs::path device = AddCard("card", {1});
    const fs::path folder = device / "TQ9_0001";
    WriteFile(folder / "a.mp3", std::string(1400000, 'a'));
    WriteFile(folder / "b.mp3", std::string(2500000, 'b'));
    WriteFile(folder / "c.jpg", "j");
    CMainFrame& frame = Start();
    EXPECT_EQ(frame.RemainingSpacePaneText().toStdString(), "");
    Select(folder);
    EXPECT_NE(frame.RemainingSpacePaneText().toStdString(), "");
    EXPECT_EQ(frame.MessagePaneText().toStdString(), "Ready.");

    SelectRows({0, 1});
    EXPECT_EQ(frame.MessagePaneText().toStdString(), "2 files, 3.90 MB");
    SelectRows({2});
    EXPECT_EQ(frame.MessagePaneText().toStdString(), "1 file, 1 B");
    SelectRows({0, 1});
    frame.DeleteFileCommand();
    EXPECT_EQ(frame.statusBar()->currentMessage().toStdString(), "2 files deleted");
    EXPECT_EQ(frame.MessagePaneText().toStdString(), "Ready.");

    EXPECT_EQ(CMainFrame::SelectionSummary(1, 31879), "1 file, 31.9 KB") << "as the list says it";
    CMessageCatalogue::Install(JapaneseCatalogue());
    const std::string ja = CMainFrame::SelectionSummary(2, 3900000);
    CMessageCatalogue::Reset();
    EXPECT_EQ(ja, "2 個のファイル、3.90 MB");
}

TEST_F(CommandsTest, TheCardFolderChooserIsWorkedByKeysAndNeverOffersTheSourceFolder)
{
    CFileChooser::SetHook({}); // the real dialog
    CFileChooser::CardFolders offered;
    offered.cards = {{"card A", {"/a/TQ9_0001", "/a/TQ9_0002", "/a/TQ9_0003"}}, {"card B", {"/b/TQ9_0001"}}};
    offered.excluded = "/a/TQ9_0001";
    auto answer = [](std::vector<int> keys) {
        QTimer::singleShot(100, [keys] {
            QWidget* dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            for (int key : keys)
                QTest::keyClick(dialog->focusWidget(), static_cast<Qt::Key>(key));
        });
    };
    // It starts on the first folder it offers; Down moves on (past card B's own node to its folder).
    answer({Qt::Key_Return});
    EXPECT_EQ(CFileChooser::CardFolder(nullptr, offered), std::optional<std::string>("/a/TQ9_0002"));
    answer({Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Return});
    EXPECT_EQ(CFileChooser::CardFolder(nullptr, offered), std::optional<std::string>("/b/TQ9_0001"));
    answer({Qt::Key_Up, Qt::Key_Return, Qt::Key_Escape}); // the source folder cannot be taken
    EXPECT_EQ(CFileChooser::CardFolder(nullptr, offered), std::nullopt);
}

TEST(FileChooserTest, TheImportFilterOffersTheImportsTypesInBothCasesButNoSidecars)
{
    const std::string patterns = CFileChooser::ImportPatterns();
    for (const char* wanted : {"*.mp4 ", "*.MP4 ", "*.jpg ", "*.JPG ", "*.wav ", "*.mov "})
        EXPECT_NE(patterns.find(wanted), std::string::npos) << wanted << " in " << patterns;
    EXPECT_EQ(patterns.find(".thm"), std::string::npos) << patterns;
    EXPECT_EQ(patterns.find(".mrk"), std::string::npos) << patterns;
}
