// The list's columns at the window's first size: duration, size and date show their texts whole, the name
// takes the rest; widths the user set are kept, across folders and runs.
#include "GuiFixture.h"

#include "ui/FileListModel.h"

#include <QHeaderView>
#include <QScrollBar>

using namespace tq9;
using namespace tq9test;

namespace {

class ColumnWidthsTest : public GuiFixture {
protected:
    // Fills the first folder with files whose texts are long for their columns, the second with one file.
    fs::path Folders()
    {
        const fs::path device = AddCard("card");
        const fs::path folder = device / "TQ9_0001";
        WriteFile(folder / "clip.mp4", "");
        fs::resize_file(folder / "clip.mp4", 123456789); // "123 MB"
        WriteFile(folder / "clip.mrk", std::string("\x00\x05\x7e\x40", 4)); // 100 hours: "100:00:00"
        WriteFile(folder / "photo.jpg", "j");
        WriteFile(device / "TQ9_0002" / "a.mp3", "m");
        return device;
    }
    // The width the rows' texts (and icons) take in a column; public through the base class.
    int Needed(int column) { return static_cast<QAbstractItemView&>(List()).sizeHintForColumn(column); }
    int TitleWidth(int column)
    {
        const QString title = List().model()->headerData(column, Qt::Horizontal).toString();
        return List().header()->fontMetrics().horizontalAdvance(title);
    }
};

} // namespace

TEST_F(ColumnWidthsTest, AtTheFirstWindowSizeEveryTextIsWholeAndTheNameTakesTheRest)
{
    const fs::path device = Folders();
    Start();
    ASSERT_EQ(m_frame->width(), 600);
    Select(device / "TQ9_0001");

    for (int column : {CFileListModel::ColDuration, CFileListModel::ColSize, CFileListModel::ColDate}) {
        SCOPED_TRACE(column);
        EXPECT_GE(List().columnWidth(column), Needed(column)) << "a row's text is cut";
        EXPECT_GT(List().columnWidth(column), TitleWidth(column)) << "the title is cut";
    }
    // The names fit, and nothing needs a horizontal scroll.
    EXPECT_GE(List().columnWidth(CFileListModel::ColName), Needed(CFileListModel::ColName));
    EXPECT_EQ(List().header()->length(), List().viewport()->width());
    EXPECT_FALSE(List().horizontalScrollBar()->isVisible());

    // Sorted by duration, that column makes room for its arrow beside the title; the name still takes the
    // rest.
    const int duration = List().columnWidth(CFileListModel::ColDuration);
    List().sortByColumn(CFileListModel::ColDuration, Qt::AscendingOrder);
    Listed();
    EXPECT_GT(List().columnWidth(CFileListModel::ColDuration), duration);
    EXPECT_EQ(List().header()->length(), List().viewport()->width());
}

TEST_F(ColumnWidthsTest, WidthsTheUserSetStayAcrossFoldersAndRuns)
{
    const fs::path device = Folders();
    {
        CMainFrame& frame = Start();
        Select(device / "TQ9_0001");
        const int fitted = List().columnWidth(CFileListModel::ColDuration);
        Select(device / "TQ9_0002");
        EXPECT_LT(List().columnWidth(CFileListModel::ColDuration), fitted) << "fitted again to the shorter text";
        frame.close();
        m_frame.reset();
    }
    {
        CMainFrame& frame = Start();
        EXPECT_FALSE(List().ColumnsSizedByHand());
        List().header()->resizeSection(CFileListModel::ColSize, 150); // as a drag of the border does
        Select(device / "TQ9_0001");
        Select(device / "TQ9_0002");
        EXPECT_EQ(List().columnWidth(CFileListModel::ColSize), 150);
        frame.close();
        m_frame.reset();
    }
    Start();
    Select(device / "TQ9_0001");
    EXPECT_TRUE(List().ColumnsSizedByHand());
    EXPECT_EQ(List().columnWidth(CFileListModel::ColSize), 150);
}
