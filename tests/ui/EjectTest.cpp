// File > Eject (and the tree's context menu) against the real disk service: a udisksd on a private system bus
// unmounts the ext4 card on a loop device the window shows; the tree drops the card and the status bar says
// it can be removed. Skipped without root, a loop device or udisksd.
#include "GuiFixture.h"

#include "platform/VolumeEject.h"
#include "support/ScratchMount.h"
#include "support/UDisksService.h"

#include <QAction>
#include <QStatusBar>

using namespace tq9test;

namespace {
class EjectTest : public GuiFixture {};
} // namespace

TEST_F(EjectTest, EjectUnmountsTheShownCardThroughTheDiskServiceAndTheTreeDropsIt)
{
    std::string reason = UDisksService::SkipReason();
    if (!reason.empty())
        GTEST_SKIP() << reason;
    const std::unique_ptr<ScratchMount> card = ScratchMount::Ext4Image(16, reason);
    if (!card)
        GTEST_SKIP() << reason;
    const fs::path folder = MakeCard(card->Path(), {1}) / "TQ9_0001";
    WriteFile(folder / "song.mp3", "mp3");
    UDisksService service(m_dir.Path(), card->LoopDevice());
    ASSERT_TRUE(service.Running()) << service.Log();
    tq9::CCardRoots::AddExtraRoot(card->Path().string());

    tq9::CMainFrame& frame = Start();
    Select(folder);
    ASSERT_EQ(Column(0), std::vector<std::string>{"song.mp3"});
    ASSERT_TRUE(frame.EjectAction()->isEnabled());
    frame.EjectAction()->trigger();

    EXPECT_TRUE(m_messages.empty()) << m_messages.front().text << "\n" << service.Log();
    EXPECT_FALSE(tq9::CVolumeEject::IsMountPoint(card->Path().string()));
    EXPECT_TRUE(WaitFor([&] { return Tree().Records().empty(); })) << "the card is gone from the tree";
    EXPECT_EQ(frame.statusBar()->currentMessage().toStdString(), card->Path().string() + " can now be removed.");
}
