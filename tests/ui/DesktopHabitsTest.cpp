// What a desktop user expects of the window: sorted views, keyboard commands, opening files, the delete
// question, the status bar after a transfer, and the window's layout remembered between runs.
#include "GuiFixture.h"

#include "res/MessageCatalogue.h"
#include "ui/FileListModel.h"
#include "ui/Manual.h"
#include "card/NaturalOrder.h"
#include "ui/OpenFile.h"

#include <QAction>
#include <QHeaderView>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>

#include <filesystem>

using namespace tq9;
using namespace tq9test;

class DesktopHabitsTest : public GuiFixture {};

TEST_F(DesktopHabitsTest, ListIsInNaturalNameOrderAndEachHeaderSortsByValue)
{
    const fs::path device = AddCard("card");
    const fs::path folder = device / "TQ9_0001";
    WriteFile(folder / "clip10.mp3", std::string(3000, 'a'));
    WriteFile(folder / "Clip2.mp3", std::string(1000, 'a'));
    WriteFile(folder / "clip1.mp3", std::string(20000, 'a'));
    WriteFile(folder / "clip1.mrk", std::string("\x00\x00\x00\x05", 4));
    WriteFile(folder / "Clip2.mrk", std::string("\x00\x00\x01\x00", 4));
    Start();
    Select(folder);
    EXPECT_EQ(Column(0), (std::vector<std::string>{"clip1.mp3", "Clip2.mp3", "clip10.mp3"}));

    List().sortByColumn(CFileListModel::ColSize, Qt::AscendingOrder);
    Listed();
    EXPECT_EQ(Column(0), (std::vector<std::string>{"Clip2.mp3", "clip10.mp3", "clip1.mp3"})) << "1 KB < 3 KB < 20 KB";
    List().sortByColumn(CFileListModel::ColDuration, Qt::DescendingOrder);
    Listed();
    EXPECT_EQ(Column(0), (std::vector<std::string>{"Clip2.mp3", "clip1.mp3", "clip10.mp3"})) << "256 s, 5 s, none";

    // A file that arrives takes its place in the order; the selection stays on its file.
    List().sortByColumn(CFileListModel::ColName, Qt::AscendingOrder);
    Listed();
    List().selectionModel()->select(List().model()->index(2, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    PlaceFile(folder / "clip3.mp3", "mp3");
    ASSERT_TRUE(WaitFor([&] { return List().RowCount() == 4; }));
    EXPECT_EQ(Column(0), (std::vector<std::string>{"clip1.mp3", "Clip2.mp3", "clip3.mp3", "clip10.mp3"}));
    EXPECT_EQ(List().SelectedPaths(), (std::vector<std::string>{(folder / "clip10.mp3").string()}));
}

TEST(NaturalOrderTest, NumbersByValueLettersWithoutCase)
{
    std::vector<QString> names = {"clip10", "Clip2", "clip2a", "clip02", "b", "A", "TQ9_0100", "TQ9_0010", "x"};
    std::sort(names.begin(), names.end(), CNaturalOrder::Less);
    const std::vector<QString> expected = {"A", "b", "Clip2", "clip02", "clip2a", "clip10", "TQ9_0010", "TQ9_0100", "x"};
    EXPECT_EQ(names, expected);
    EXPECT_LT(CNaturalOrder::Compare("a", "ab"), 0);
    EXPECT_NE(CNaturalOrder::Compare("A", "a"), 0) << "a total order";
}

TEST_F(DesktopHabitsTest, CommandsAreInTheFileMenuWithShortcutsAndTooltips)
{
    AddCard("card");
    CMainFrame& frame = Start();
    QMenu* file = frame.menuBar()->findChildren<QMenu*>().value(0);
    ASSERT_NE(file, nullptr);
    std::map<std::string, std::string> shortcuts;
    for (QAction* action : file->actions())
        if (!action->isSeparator())
            shortcuts[action->shortcut().toString().toStdString()] = action->text().toStdString();
    EXPECT_EQ(shortcuts.count("Ctrl+Shift+N"), 1u);
    EXPECT_EQ(shortcuts.count("Del"), 1u);
    EXPECT_EQ(shortcuts.count("F5"), 1u);
    EXPECT_EQ(shortcuts.count("Ctrl+Q"), 1u);
    EXPECT_EQ(frame.HelpAction()->shortcut().toString().toStdString(), "F1");
    EXPECT_NE(frame.CreateFolderAction()->toolTip().toStdString().find("Create TQ-9 folder."), std::string::npos);
    EXPECT_NE(frame.DeleteFileAction()->toolTip().toStdString().find("Delete file."), std::string::npos);
}

TEST_F(DesktopHabitsTest, DeleteKeyAsksNamingWhatGoesAndEnterOpensTheFile)
{
    const fs::path device = AddCard("card");
    const fs::path folder = device / "TQ9_0001";
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
        WriteFile(folder / name, "jpeg");
    CMainFrame& frame = Start();
    QApplication::setActiveWindow(&frame); // shortcuts reach the active window only
    Select(folder);
    List().setFocus();
    List().selectAll();
    m_answer = CMessageBox::Answer::Cancel;
    QTest::keyClick(&List(), Qt::Key_Delete);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].text, "Delete 3 files?");
    EXPECT_EQ(List().RowCount(), 3);

    std::vector<std::string> opened;
    COpenFile::SetHook([&opened](const std::string& path) {
        opened.push_back(path);
        return path.find("b.jpg") == std::string::npos; // the desktop has no application for b
    });
    List().setCurrentIndex(List().model()->index(0, 0));
    QTest::keyClick(&List(), Qt::Key_Return);
    List().OpenRow(1);
    COpenFile::SetHook({});
    EXPECT_EQ(opened, (std::vector<std::string>{(folder / "a.jpg").string(), (folder / "b.jpg").string()}));
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages[1].text, "Cannot open " + (folder / "b.jpg").string() + ".");
}

TEST_F(DesktopHabitsTest, TheDeleteQuestionDefaultsToCancel)
{
    CMessageBox::SetHook({}); // the real box
    QString defaultText;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        defaultText = box->defaultButton() ? box->defaultButton()->text() : QString();
        EXPECT_GE(box->sizeHint().width(), box->fontMetrics().horizontalAdvance(box->windowTitle()));
        QTest::keyClick(box, Qt::Key_Return);
    });
    const auto answer = CMessageBox::Show(nullptr, "Delete 3 files?", "A caption long enough to be cut off by a narrow box",
                                          CMessageBox::Buttons::OkCancel);
    EXPECT_EQ(defaultText.toStdString(), "Cancel");
    EXPECT_EQ(answer, CMessageBox::Answer::Cancel) << "Enter answers the default";
}

TEST_F(DesktopHabitsTest, TransferDoneShowsInTheStatusBar)
{
    CMainFrame& frame = Start();
    frame.ShowTransferDone(3, false);
    EXPECT_EQ(frame.statusBar()->currentMessage().toStdString(), "3 files imported");
    frame.ShowTransferDone(1, true);
    EXPECT_EQ(frame.statusBar()->currentMessage().toStdString(), "1 file duplicated");
}

TEST_F(DesktopHabitsTest, WindowLayoutIsRememberedBetweenRuns)
{
    AddCard("card");
    {
        CMainFrame& frame = Start();
        frame.resize(820, 530);
        frame.Splitter()->setSizes({310, 510});
        frame.RightView()->header()->resizeSection(CFileListModel::ColSize, 133);
        frame.close();
        m_frame.reset();
    }
    CMainFrame& again = Start();
    EXPECT_EQ(again.size(), QSize(820, 530));
    EXPECT_EQ(again.Splitter()->sizes().value(0), 310);
    EXPECT_EQ(again.RightView()->header()->sectionSize(CFileListModel::ColSize), 133);
}

TEST_F(DesktopHabitsTest, ManualIsLookedForBesideTheProgramNotInTheCurrentFolder)
{
    const std::vector<std::string> places = CManual::Candidates("TQ9_image_converter_e.html");
    ASSERT_FALSE(places.empty());
    // Relative to the running program (here the test program in the build's bin/), never a fixed path.
    const fs::path program = fs::read_symlink("/proc/self/exe");
    const fs::path expected = program.parent_path().parent_path() / "share/tq9-image-converter/manual";
    EXPECT_EQ(fs::path(places.front()).parent_path(), expected);
    // The build links that folder to the source tree's manual, for both languages.
    for (const char* name : {"TQ9_image_converter_e.html", "TQ9_image_converter_j.html"})
        EXPECT_TRUE(CManual::Find(name).has_value()) << name;
    EXPECT_FALSE(CManual::Find("no-such-manual.html").has_value());
}

TEST_F(DesktopHabitsTest, RowsShowTheirThumbnailOnceReadAndTheTypeIconOtherwise)
{
    const fs::path device = AddCard("card");
    const fs::path folder = device / "TQ9_0001";
    WriteFile(folder / "clip.mp4", "video");
    QImage thm(48, 36, QImage::Format_RGB888);
    thm.fill(QColor(250, 10, 10));
    ASSERT_TRUE(thm.save(QString::fromStdString((folder / "clip.thm").string()), "BMP"));
    WriteFile(folder / "photo.jpg", "jpeg");
    Start();
    Select(folder);
    ASSERT_EQ(Column(0), (std::vector<std::string>{"clip.mp4", "photo.jpg"}));

    auto centre = [&](int row) {
        const QIcon icon = List().model()->index(row, 0).data(Qt::DecorationRole).value<QIcon>();
        const QImage picture = icon.pixmap(48, 36).toImage();
        return picture.isNull() ? QColor() : picture.pixelColor(picture.width() / 2, picture.height() / 2);
    };
    EXPECT_TRUE(WaitFor([&] { return centre(0).red() > 200 && centre(0).green() < 60; }))
        << "the .thm picture never became the row's icon";
    QTest::qWait(100);
    EXPECT_FALSE(List().model()->index(1, 0).data(Qt::DecorationRole).value<QIcon>().isNull())
        << "a file without .thm keeps its type's icon";
    EXPECT_FALSE(centre(1).red() > 200 && centre(1).green() < 60);
}
