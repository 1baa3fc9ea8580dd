// Desktop files dropped on the tree and on the list: the folder limit, refused drops, and real imports
// through the importer (tiny stills, so they are quick).
#include "GuiFixture.h"

#include "jobs/DragOutData.h"
#include "ui/SelfDDIndicator.h"
#include "ui/ConvProgressDlg.h"

#include <QStatusBar>
#include <QTimer>
#include <QTranslator>

using namespace tq9;
using namespace tq9test;

namespace {

// A synthesised media file copied to dir/name, where the desktop would have it.
fs::path Staged(const TempDir& dir, const std::string& name, const std::string& cacheName,
                const std::vector<std::string>& synthArgs)
{
    const fs::path copy = dir / name;
    fs::create_directories(copy.parent_path());
    fs::copy_file(SynthMedia(cacheName, synthArgs), copy, fs::copy_options::overwrite_existing);
    return copy;
}

fs::path Still(const TempDir& dir, const std::string& name)
{
    return Staged(dir, name, "ui-still.jpg", {"-f", "lavfi", "-i", "testsrc=size=64x48", "-frames:v", "1"});
}

int CountWithExtension(const fs::path& folder, const std::string& extension)
{
    int n = 0;
    for (const auto& entry : fs::directory_iterator(folder))
        n += entry.path().extension() == extension;
    return n;
}

} // namespace

class DropTest : public GuiFixture {};

TEST_F(DropTest, AStillDroppedOnTheListIsImportedAndListed)
{
    const fs::path device = AddCard("card");
    const fs::path folder = device / "TQ9_0001";
    const fs::path source = Still(m_dir, "pc/holiday.jpg");
    Start();
    Select(folder);

    EXPECT_TRUE(Drop(List().viewport(), QPoint(20, 20), {source}));
    Listed();
    EXPECT_TRUE(m_messages.empty()) << m_messages.front().text;
    EXPECT_EQ(CountWithExtension(folder, ".jpg"), 1);
    EXPECT_EQ(CountWithExtension(folder, ".thm"), 1);
    EXPECT_EQ(List().RowCount(), 1);
    EXPECT_TRUE(fs::exists(source)); // the desktop file stays where it was
    EXPECT_EQ(CSelfDDIndicator::Instance().GetDropBusy(), 0);
}

TEST_F(DropTest, ASoundDroppedOnTheListIsConvertedAndShowsItsLength)
{
    const fs::path device = AddCard("card");
    const fs::path folder = device / "TQ9_0001";
    const fs::path source =
        Staged(m_dir, "pc/tone.wav", "ui-tone.wav", {"-f", "lavfi", "-i", "sine=duration=2.5:sample_rate=22050"});
    Start();
    Select(folder);

    EXPECT_TRUE(Drop(List().viewport(), QPoint(20, 20), {source}));
    Listed();
    EXPECT_TRUE(m_messages.empty()) << m_messages.front().text;
    EXPECT_EQ(Column(0), (std::vector<std::string>{"tone.mp3"}));
    EXPECT_EQ(Column(1), (std::vector<std::string>{"00:00:02"}));
    EXPECT_TRUE(fs::exists(folder / "tone.mrk"));
}

TEST_F(DropTest, CancellingTheProgressDialogReportsItAndLeavesTheCardAlone)
{
    const fs::path device = AddCard("card");
    const fs::path folder = device / "TQ9_0001";
    const fs::path source = Still(m_dir, "pc/a.jpg");
    Start();
    Select(folder);
    bool cancelled = false;
    QTimer::singleShot(0, [&] {
        if (auto* dialog = qobject_cast<CConvProgressDlg*>(QApplication::activeModalWidget())) {
            cancelled = true;
            dialog->reject();
        }
    });
    Drop(List().viewport(), QPoint(20, 20), {source});
    ASSERT_TRUE(cancelled);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].text, "Import canceled.");
    EXPECT_TRUE(fs::is_empty(folder));
    EXPECT_EQ(List().RowCount(), 0);
}

TEST_F(DropTest, AWaitForAnotherRunWritingIntoTheFolderIsShownAndCancelEndsItAtOnce)
{
    const fs::path device = AddCard("card", {1, 2});
    const fs::path from = device / "TQ9_0001", folder = device / "TQ9_0002";
    WriteFile(from / "clip.mp4", "card bytes");
    const fs::path source = Still(m_dir, "pc/a.jpg");
    Start();

    // The import places its results at its end; the duplication copies each item.
    for (const bool duplicate : {false, true}) {
        SCOPED_TRACE(duplicate ? "duplication" : "import");
        Select(from);
        m_messages.clear();
        qint64 cancelToReturn = -1;
        std::string status;
        {
            OtherRunsLock lock(folder);
            if (duplicate) {
                CDragOutData data({(from / "clip.mp4").string()}, {});
                CSelfDDIndicator::Instance().SetSelfDrag(1);
                DropData(Tree().viewport(), NodePoint(folder), data);
                CSelfDDIndicator::Instance().SetSelfDrag(0);
            } else {
                Drop(Tree().viewport(), NodePoint(folder), {source});
            }
            cancelToReturn = lock.sinceCancel.isValid() ? lock.sinceCancel.elapsed() : -1;
            status = lock.status;
        }
        EXPECT_EQ(status, "Waiting for another run writing into " + folder.string() + " ...");
        EXPECT_GE(cancelToReturn, 0);
        EXPECT_LT(cancelToReturn, 1000) << "the wait is checked every 100 ms";
        ASSERT_EQ(m_messages.size(), 1u);
        EXPECT_EQ(m_messages[0].text, duplicate ? "Duplication canceled." : "Import canceled.");
        EXPECT_TRUE(fs::is_empty(folder)) << "nothing placed, nothing staged";
    }
}

TEST_F(DropTest, AStillDroppedOnAnotherFolderOfTheTreeGoesThere)
{
    const fs::path device = AddCard("カード 1", {1, 2});
    const fs::path source = Still(m_dir, "pc folder/写真 1.jpg");
    Start();
    Select(device / "TQ9_0001");

    EXPECT_TRUE(Drop(Tree().viewport(), NodePoint(device / "TQ9_0002"), {source}));
    EXPECT_TRUE(m_messages.empty()) << m_messages.front().text;
    EXPECT_EQ(CountWithExtension(device / "TQ9_0002", ".jpg"), 1);
    EXPECT_EQ(CountWithExtension(device / "TQ9_0001", ".jpg"), 0);
    EXPECT_EQ(Tree().DropHighlight(), nullptr);
    auto cached = List().CachedCopy((device / "TQ9_0002").string());
    ASSERT_TRUE(cached);
    EXPECT_EQ(cached->size(), 1u);
    // The views know nothing of one another: the frame's wiring takes the list, the tree, the address bar
    // and the status bar to where the file went.
    EXPECT_EQ(List().CurrentFolder(), (device / "TQ9_0002").string());
    EXPECT_EQ(Tree().SelectedPath(), (device / "TQ9_0002").string());
    EXPECT_EQ(m_frame->AddressBar()->History().front(), (device / "TQ9_0002").string());
    EXPECT_EQ(m_frame->statusBar()->currentMessage().toStdString(), "1 file imported");
}

TEST_F(DropTest, TheTreeRefusesTheShownFolderAndOpensCardsWithFolders)
{
    const fs::path device = AddCard("card", {1});
    const fs::path bare = AddCard("bare", {});
    const fs::path source = Still(m_dir, "pc/a.jpg");
    Start();
    Select(device / "TQ9_0001");
    Tree().topLevelItem(0)->setExpanded(false);

    // Over the card's node: no drop, but the node opens.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(source.string()))});
    QDragEnterEvent enter(NodePoint(device.parent_path()), Qt::CopyAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(Tree().viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDragMoveEvent overCard(NodePoint(device.parent_path()), Qt::CopyAction, &data, Qt::LeftButton,
                            Qt::NoModifier);
    QApplication::sendEvent(Tree().viewport(), &overCard);
    EXPECT_FALSE(overCard.isAccepted());
    EXPECT_TRUE(Tree().topLevelItem(0)->isExpanded());

    // Over the folder the list shows: no drop, no highlight.
    QDragMoveEvent overShown(NodePoint(device / "TQ9_0001"), Qt::CopyAction, &data, Qt::LeftButton,
                             Qt::NoModifier);
    QApplication::sendEvent(Tree().viewport(), &overShown);
    EXPECT_FALSE(overShown.isAccepted());
    EXPECT_EQ(Tree().DropHighlight(), nullptr);

    // A card without folders takes the drag but the drop does nothing: it has no cached folder.
    EXPECT_FALSE(Drop(Tree().viewport(), NodePoint(bare.parent_path()), {source}));
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(CountWithExtension(bare, ".jpg"), 0);
}

TEST_F(DropTest, TheFolderLimitCountsListedAndDroppedFiles)
{
    const fs::path device = AddCard("card", {1, 2});
    const fs::path full = device / "TQ9_0001";
    const fs::path almost = device / "TQ9_0002";
    for (int i = 0; i < 128; ++i)
        WriteFile(full / ("f" + std::to_string(i) + ".jpg"), "jpeg");
    for (int i = 0; i < 127; ++i)
        WriteFile(almost / ("f" + std::to_string(i) + ".jpg"), "jpeg");
    const fs::path source = Still(m_dir, "pc/new.jpg");
    Start();

    Select(full);
    Drop(List().viewport(), QPoint(20, 20), {source});
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].text, "Number of file in this folder exceeds limit.");
    EXPECT_EQ(CountWithExtension(full, ".thm"), 0);

    Select(almost); // 127 + 1 is still allowed
    Drop(List().viewport(), QPoint(20, 20), {source});
    Listed();
    EXPECT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(List().RowCount(), 128);
}

TEST_F(DropTest, TwoHundredFilesAreRefusedAsAWhole)
{
    const fs::path device = AddCard("card");
    const fs::path folder = device / "TQ9_0001";
    std::vector<fs::path> files;
    for (int i = 0; i < 200; ++i) {
        files.push_back(m_dir / "pc" / ("p" + std::to_string(i) + ".jpg"));
        fs::create_directories(files.back().parent_path());
        WriteFile(files.back(), "jpeg");
    }
    Start();
    Select(device / "TQ9_0002");
    Drop(Tree().viewport(), NodePoint(folder), files);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].text, "Number of file in this folder exceeds limit.");
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST_F(DropTest, ADroppedFolderIsRefusedWithItsReason)
{
    const fs::path device = AddCard("card");
    const fs::path folder = device / "TQ9_0001";
    const fs::path pcFolder = m_dir / "pc folder";
    Still(m_dir, "pc folder/inside.jpg");
    Start();
    Select(folder);
    Drop(List().viewport(), QPoint(20, 20), {pcFolder});
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_NE(m_messages[0].text.find("Invalid file type.\n"), std::string::npos) << m_messages[0].text;
    EXPECT_NE(m_messages[0].text.find("Including path attributed directry.\n"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST_F(DropTest, ADragIsRefusedWhileADropIsBeingHandled)
{
    const fs::path device = AddCard("card");
    Start();
    Select(device / "TQ9_0001");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/x.jpg"))});
    CSelfDDIndicator::Instance().SetDropBusy(1);
    QDragEnterEvent onTree(NodePoint(device / "TQ9_0002"), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Tree().viewport(), &onTree);
    QDragEnterEvent onList(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(List().viewport(), &onList);
    CSelfDDIndicator::Instance().SetDropBusy(0);
    EXPECT_FALSE(onTree.isAccepted());
    EXPECT_FALSE(onList.isAccepted());

    QDragEnterEvent again(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(List().viewport(), &again);
    EXPECT_TRUE(again.isAccepted());
}

// Files the desktop opens with the program arrive on its command line and are offered for import.
TEST_F(DropTest, FilesOpenedWithTheProgramAreOfferedForTheShownOrElseTheFirstFolder)
{
    const fs::path device = AddCard("card", {3, 1, 2});
    const fs::path photo = Still(m_dir, "pc/photo.jpg");
    Start();

    // Nothing shown: the first folder of the first card, asked first; Cancel brings nothing in.
    m_answer = CMessageBox::Answer::Cancel;
    EXPECT_FALSE(m_frame->OfferImport({photo.string()}));
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].buttons, CMessageBox::Buttons::OkCancel);
    EXPECT_NE(m_messages[0].text.find((device / "TQ9_0001").string()), std::string::npos) << m_messages[0].text;
    EXPECT_EQ(CountWithExtension(device / "TQ9_0001", ".jpg"), 0);

    // The folder shown is the one the files go to.
    m_messages.clear();
    m_answer = CMessageBox::Answer::Ok;
    Select(device / "TQ9_0002");
    EXPECT_TRUE(m_frame->OfferImport({photo.string()}));
    ASSERT_EQ(m_messages.size(), 1u) << m_messages.back().text;
    EXPECT_EQ(m_messages[0].text, "Import photo.jpg into " + (device / "TQ9_0002").string() + "?");
    EXPECT_EQ(CountWithExtension(device / "TQ9_0002", ".jpg"), 1);
    Listed();
    EXPECT_EQ(List().RowCount(), 1);
}

TEST_F(DropTest, FilesOpenedWithTheProgramWithoutACardFolderAreRefusedWithAHint)
{
    AddCard("card", {});
    const fs::path photo = Still(m_dir, "pc/photo.jpg");
    Start();
    EXPECT_FALSE(m_frame->OfferImport({photo.string()}));
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].buttons, CMessageBox::Buttons::Ok);
    EXPECT_NE(m_messages[0].text.find("no card folder"), std::string::npos) << m_messages[0].text;
}

TEST_F(DropTest, FilesOpenedWithTheProgramAreAskedAboutInJapaneseToo)
{
    const fs::path device = AddCard("card");
    const fs::path photo = Still(m_dir, "pc/photo.jpg");
    QTranslator japanese;
    ASSERT_TRUE(japanese.load(QStringLiteral(":/i18n/tq9_ja.qm")));
    QCoreApplication::installTranslator(&japanese);
    Start();
    m_answer = CMessageBox::Answer::Cancel;
    m_frame->OfferImport({photo.string(), photo.string()});
    QCoreApplication::removeTranslator(&japanese);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].text, "2 個のファイルを " + (device / "TQ9_0001").string() + " に取り込みますか?");
}
