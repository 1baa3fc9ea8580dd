// Card files dragged from the file list and dropped on another folder of the tree are duplicated there,
// with their sidecars, and never exported.
#include "GuiFixture.h"

#include "jobs/DragOutData.h"
#include "ui/SelfDDIndicator.h"
#include "support/FileOpTestSupport.h"

#include <QStatusBar>

using namespace tq9;
using namespace tq9test;

namespace {

class DuplicateDropTest : public GuiFixture {
protected:
    void TearDown() override
    {
        CSelfDDIndicator::Instance().SetSelfDrag(0);
        GuiFixture::TearDown();
    }
};

} // namespace

TEST_F(DuplicateDropTest, TheProgramsOwnDragOnATreeFolderDuplicatesTheCardFiles)
{
    const fs::path device = AddCard("card", {1, 2});
    const fs::path from = device / "TQ9_0001", to = device / "TQ9_0002";
    for (const char* name : {"clip.mp4", "clip.thm", "clip.mrk"})
        WriteFile(from / name, Blob(2000, name[5]));
    WriteFile(to / "clip.mp4", "x");
    Start();
    Select(from);

    // The hand-over list names export copies that do not exist: the tree must use the card paths.
    CDragOutData data({(from / "clip.mp4").string()}, {(m_dir / "export/clip.wmv").string()});
    CSelfDDIndicator::Instance().SetSelfDrag(1);
    EXPECT_TRUE(DropData(Tree().viewport(), NodePoint(to), data));
    CSelfDDIndicator::Instance().SetSelfDrag(0);

    EXPECT_TRUE(m_messages.empty()) << m_messages.front().text;
    EXPECT_EQ(Names(to), (std::vector<std::string>{"clip.mp4", "clip_0.mp4", "clip_0.mrk", "clip_0.thm"}));
    EXPECT_EQ(ReadFile(to / "clip_0.thm"), ReadFile(from / "clip.thm"));
    EXPECT_FALSE(fs::exists(m_dir / "export"));
    EXPECT_EQ(List().CachedCopy(to.string())->size(), 2u);
    EXPECT_EQ(CSelfDDIndicator::Instance().GetDropBusy(), 0);
    EXPECT_EQ(m_frame->statusBar()->currentMessage().toStdString(), "1 file duplicated");
}

TEST_F(DuplicateDropTest, ARefusedDuplicationShowsTheJobsTextAndLeavesTheFolderAsItWas)
{
    const fs::path device = AddCard("card", {1, 2});
    const fs::path from = device / "TQ9_0001", to = device / "TQ9_0002";
    WriteFile(from / "clip.mp4", "x");
    Start();
    Select(from);

    CDragOutData data({(from / "clip.mp4").string(), (from / "gone.mp4").string()}, {});
    CSelfDDIndicator::Instance().SetSelfDrag(1);
    DropData(Tree().viewport(), NodePoint(to), data);
    CSelfDDIndicator::Instance().SetSelfDrag(0);

    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].text, "Invalid file type.\nCannot open file.\n");
    EXPECT_TRUE(fs::is_empty(to));
}
