// How the tq9 commands take a card folder from their command line, and the folder limit they check.
#include <gtest/gtest.h>

#include <unistd.h>

#include "card/CardLayout.h"
#include "jobs/CardFolderArgument.h"
#include "support/TestSupport.h"

using namespace tq9;
using namespace tq9test;
using Kind = ResolvedCardFolder::Kind;

namespace {

// Runs the test body with the working folder changed, as a user typing a bare folder name would have it.
class InFolder {
public:
    explicit InFolder(const fs::path& folder) : m_previous(fs::current_path()) { fs::current_path(folder); }
    ~InFolder() { fs::current_path(m_previous); }

private:
    fs::path m_previous;
};

} // namespace

TEST(CardFolderArgument, TakesACardFolderByPathOrByItsNameFromTheDeviceFolder)
{
    TempDir t;
    const fs::path device = fs::canonical(MakeCard(t.Path(), {1, 2}));
    const fs::path folder = device / "TQ9_0002";
    WriteFile(folder / "clip.mp4", "x");
    WriteFile(folder / "notes.txt", "not listed");

    for (const std::string& given : {folder.string(), folder.string() + "/", (device / "TQ9_0001/../TQ9_0002").string()}) {
        const ResolvedCardFolder r = CCardFolderArgument::Resolve(given);
        ASSERT_EQ(r.kind, Kind::CardFolder) << given;
        EXPECT_EQ(r.folder, folder.string()) << given;
        EXPECT_EQ(r.mediaFiles, std::vector<std::string> {(folder / "clip.mp4").string()}) << given;
        EXPECT_EQ(CCardFolderArgument::RefusalText(r.kind), "");
    }
    {
        InFolder in(device);
        const ResolvedCardFolder r = CCardFolderArgument::Resolve("TQ9_0002");
        ASSERT_EQ(r.kind, Kind::CardFolder);
        EXPECT_EQ(r.folder, folder.string()); // absolute, as the messages and the jobs want it
        EXPECT_EQ(CCardFolderArgument::Resolve("TQ9_0003").kind, Kind::Missing);
    }
    // A link to a card folder is the card folder (the file list shows it under its real path).
    fs::create_directory_symlink(folder, t / "shortcut");
    EXPECT_EQ(CCardFolderArgument::Resolve((t / "shortcut").string()).folder, folder.string());
}

TEST(CardFolderArgument, RefusesWhatIsNotACardFolderWithItsOwnText)
{
    TempDir t;
    const fs::path device = MakeCard(t / "card", {1});
    fs::create_directories(device / "TQ9_0001" / "inner");
    WriteFile(device / "TQ9_0001" / "clip.mp4", "x");
    fs::create_directories(t / "plain" / "TQ9_0001"); // the right name, but no card around it

    EXPECT_EQ(CCardFolderArgument::Resolve((t / "absent").string()).kind, Kind::Missing);
    EXPECT_EQ(CCardFolderArgument::Resolve("").kind, Kind::Missing);
    EXPECT_EQ(CCardFolderArgument::Resolve((device / "TQ9_0001" / "clip.mp4").string()).kind, Kind::Missing);
    for (const fs::path& p : {t / "card", device, device / "TQ9_0001" / "inner", t / "plain" / "TQ9_0001", t.Path()})
        EXPECT_EQ(CCardFolderArgument::Resolve(p.string()).kind, Kind::NotCardFolder) << p;

    EXPECT_EQ(CCardFolderArgument::RefusalText(Kind::Missing), "not a folder");
    EXPECT_EQ(CCardFolderArgument::RefusalText(Kind::NotCardFolder), "not a folder of a TQ-9 card");
    EXPECT_EQ(CCardFolderArgument::RefusalText(Kind::Unreadable), "cannot read the folder");
}

TEST(CardFolderArgument, AFolderThatCannotBeListedIsUnreadable)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads any folder";
    TempDir t;
    const fs::path folder = MakeCard(t.Path(), {1}) / "TQ9_0001";
    fs::permissions(folder, fs::perms::owner_exec); // may be entered, not listed
    const ResolvedCardFolder r = CCardFolderArgument::Resolve(folder.string());
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_EQ(r.kind, Kind::Unreadable);
}

TEST(CardFolderArgument, AFileIsOnACardOnlyDirectlyInACardFolder)
{
    TempDir t;
    const fs::path device = fs::canonical(MakeCard(t.Path(), {1}));
    const fs::path folder = device / "TQ9_0001";
    WriteFile(folder / "clip.mp4", "x");
    WriteFile(device / "loose.mp4", "x");
    WriteFile(t / "pc.mp4", "x");
    fs::create_directories(folder / "inner");
    WriteFile(folder / "inner" / "deep.mp4", "x");

    EXPECT_EQ(CCardFolderArgument::FolderOfFile((folder / "clip.mp4").string()), folder.string());
    {
        InFolder in(folder);
        EXPECT_EQ(CCardFolderArgument::FolderOfFile("clip.mp4"), folder.string());
    }
    // Only the folder counts, so a name not there yet (the job reports it) still belongs to the card.
    EXPECT_EQ(CCardFolderArgument::FolderOfFile((folder / "gone.mp4").string()), folder.string());
    for (const fs::path& p : {device / "loose.mp4", t / "pc.mp4", folder / "inner" / "deep.mp4", fs::path("/")})
        EXPECT_FALSE(CCardFolderArgument::FolderOfFile(p.string())) << p;
}

TEST(CardLayout, AFolderTakesFilesUpToTheDeviceLimit)
{
    EXPECT_TRUE(CCardLayout::HasRoomFor(0, 128));
    EXPECT_TRUE(CCardLayout::HasRoomFor(127, 1));
    EXPECT_FALSE(CCardLayout::HasRoomFor(127, 2));
    EXPECT_FALSE(CCardLayout::HasRoomFor(128, 1));
    EXPECT_FALSE(CCardLayout::HasRoomFor(0, 129));
}
