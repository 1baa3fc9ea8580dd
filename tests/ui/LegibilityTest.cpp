// What keeps the window legible: long names cut in the middle with the whole name as tool tip, an address
// bar that forgets the card that went, and windows that fit a screen smaller than they asked for.
#include "GuiFixture.h"

#include "ui/ScreenFit.h"

#include <QComboBox>
#include <QDialog>
#include <QHeaderView>
#include <QHelpEvent>
#include <QScreen>
#include <QToolTip>

using namespace tq9;
using namespace tq9test;

namespace {
class LegibilityTest : public GuiFixture {};
} // namespace

TEST_F(LegibilityTest, ALongNameIsCutInTheMiddleAndItsToolTipIsTheWholeName)
{
    const fs::path device = AddCard("card", {1});
    const std::string name = "holiday clip from the summer by the lake with the whole family.mp4";
    WriteFile(device / "TQ9_0001" / name, "v");
    Start();
    Select(device / "TQ9_0001");
    EXPECT_EQ(List().textElideMode(), Qt::ElideMiddle) << "the start and the extension stay";
    const QRect cell = List().visualRect(List().model()->index(0, 0));
    QHelpEvent help(QEvent::ToolTip, cell.center(), List().viewport()->mapToGlobal(cell.center()));
    QApplication::sendEvent(List().viewport(), &help);
    EXPECT_EQ(QToolTip::text().toStdString(), name);
    QToolTip::hideText();
    // A narrow list scrolls rather than cut the name down to a few letters.
    List().resize(200, 300);
    QApplication::processEvents();
    EXPECT_GE(List().columnWidth(0), List().columnWidth(1) - 1);
}

TEST_F(LegibilityTest, TheAddressBarForgetsACardThatWent)
{
    const fs::path gone = AddCard("gone", {1});
    const fs::path stays = AddCard("stays", {1});
    CMainFrame& frame = Start();
    Select(stays / "TQ9_0001");
    Select(gone / "TQ9_0001");
    fs::remove_all(gone.parent_path());
    frame.RefreshCommand();
    Settled();
    EXPECT_EQ(frame.AddressBar()->HistoryBox()->currentText().toStdString(), "") << "it showed the card that went";
    EXPECT_EQ(frame.AddressBar()->History(), (std::vector<std::string>{(stays / "TQ9_0001").string()}));
}

TEST_F(LegibilityTest, AWindowLargerThanTheScreenIsMadeToFitIt)
{
    QDialog dialog;
    QApplication::instance()->installEventFilter(new CScreenFit(&dialog));
    const QRect free = dialog.screen()->availableGeometry();
    dialog.resize(free.width() * 2, free.height() * 2);
    dialog.move(free.right() - 10, free.bottom() - 10);
    dialog.show();
    EXPECT_TRUE(free.contains(dialog.frameGeometry())) << "screen " << free.width() << "x" << free.height()
                                                     << ", dialog " << dialog.width() << "x" << dialog.height();
}
