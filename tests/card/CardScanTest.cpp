#include <gtest/gtest.h>

#include <chrono>

#include "card/CardClaim.h"
#include "card/CardLayout.h"
#include "card/CardScan.h"
#include "platform/CardRoots.h"
#include "support/TestSupport.h"

using namespace tq9;
using tq9test::MakeCard;
using tq9test::TempDir;
using tq9test::WriteFile;
namespace fs = std::filesystem;

TEST(CardScan, OnlyRootsWithFolderAndHiddenMarkerAreCards)
{
    TempDir t;
    MakeCard(t / "good", {1, 2});
    fs::create_directories(t / "nofolder");
    fs::create_directories(t / "fileinstead");
    WriteFile(t / "fileinstead" / "TQ-9", "not a folder");
    fs::create_directories(t / "nomarker" / "TQ-9" / "TQ9_0001");
    // A marker that is not hidden does not count: off FAT, hidden means a leading dot, so the same name
    // without the dot is a plain file and the real name is missing.
    fs::create_directories(t / "visible" / "TQ-9");
    WriteFile(t / "visible" / "TQ-9" / "TQ-9_SD.PRM", "");
    // The marker must be a file: a folder or a link of that name does not make a card.
    fs::create_directories(t / "markerdir" / "TQ-9" / ".TQ-9_SD.PRM");
    fs::create_directories(t / "markerlink" / "TQ-9");
    WriteFile(t / "outside-marker", "");
    fs::create_symlink(t / "outside-marker", t / "markerlink" / "TQ-9" / ".TQ-9_SD.PRM");

    std::vector<std::string> roots;
    for (const char* name : {"good", "nofolder", "fileinstead", "nomarker", "visible", "markerdir", "markerlink", "missing"})
        roots.push_back((t / name).string());
    auto cards = CCardScan::Scan(roots);
    ASSERT_EQ(cards.size(), 1u);
    EXPECT_EQ(cards[0].root, (t / "good").string());
    EXPECT_EQ(cards[0].deviceFolder, (t / "good" / "TQ-9").string());
    EXPECT_EQ(cards[0].folders.size(), 2u);
}

TEST(CardScan, ListsEveryFolderNameButNoFiles)
{
    TempDir t;
    fs::path device = MakeCard(t.Path(), {3});
    fs::create_directories(device / "Holiday pictures é");
    WriteFile(device / "loose.mp4", "x");
    // A linked folder leads off the card: the tree must not offer it.
    fs::create_directories(t / "elsewhere");
    fs::create_directory_symlink(t / "elsewhere", device / "TQ9_0004");
    auto folders = CCardScan::ListFolders(device.string());
    ASSERT_TRUE(folders);
    std::vector<std::string> names;
    for (const auto& f : *folders)
        names.push_back(fs::path(f).filename().string());
    std::sort(names.begin(), names.end());
    // The marker is a file; the hidden folders rule does not hide folders from the list.
    EXPECT_EQ(names, (std::vector<std::string> {"Holiday pictures é", "TQ9_0003"}));
    EXPECT_FALSE(CCardScan::ListFolders((t / "nothing").string()));
}

TEST(NumberedFolder, TakesLowestFreeNumberAndStopsAt127)
{
    TempDir t;
    fs::path device = MakeCard(t.Path(), {1, 2, 4});
    auto made = CCardScan::CreateNumberedFolder(device.string());
    ASSERT_TRUE(made);
    EXPECT_EQ(*made, (device / "TQ9_0003").string());
    EXPECT_TRUE(fs::is_directory(*made));
    EXPECT_EQ(*CCardScan::CreateNumberedFolder(device.string()), (device / "TQ9_0005").string());

    TempDir full;
    std::vector<int> all;
    for (int n = 1; n <= 127; ++n)
        all.push_back(n);
    fs::path fullDevice = MakeCard(full.Path(), all);
    EXPECT_FALSE(CCardScan::CreateNumberedFolder(fullDevice.string()));
    EXPECT_FALSE(fs::exists(fullDevice / "TQ9_0128"));
}

TEST(NumberedFolder, CountsSubfoldersOfAnyNameAgainstTheLimit)
{
    TempDir t;
    fs::path device = MakeCard(t.Path(), {});
    for (int i = 0; i < 127; ++i)
        fs::create_directories(device / ("other" + std::to_string(i)));
    // 127 folders plus "..": still room for one.
    auto made = CCardScan::CreateNumberedFolder(device.string());
    ASSERT_TRUE(made);
    EXPECT_EQ(fs::path(*made).filename(), "TQ9_0001");
    // Now 128 folders: refused, and nothing is created.
    EXPECT_FALSE(CCardScan::CreateNumberedFolder(device.string()));
    EXPECT_FALSE(fs::exists(device / "TQ9_0002"));
    // Files do not count.
    TempDir t2;
    fs::path device2 = MakeCard(t2.Path(), {});
    for (int i = 0; i < 200; ++i)
        WriteFile(device2 / ("f" + std::to_string(i)), "");
    EXPECT_TRUE(CCardScan::CreateNumberedFolder(device2.string()));
}

TEST(NumberedFolder, RefusesWhenTheFolderCannotBeMade)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    TempDir t;
    fs::path device = MakeCard(t.Path(), {});
    fs::permissions(device, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(CCardScan::CreateNumberedFolder(device.string()));
    fs::permissions(device, fs::perms::owner_all);
}

TEST(CardScan, DeviceFolderForRootDeviceAndFolderOnly)
{
    TempDir t;
    fs::path device = MakeCard(t.Path(), {1});
    const std::string expected = fs::canonical(device).string();
    EXPECT_EQ(CCardScan::DeviceFolderFor(t.Path().string()), expected);
    EXPECT_EQ(CCardScan::DeviceFolderFor(device.string()), expected);
    EXPECT_EQ(CCardScan::DeviceFolderFor((device / "TQ9_0001").string() + "/"), expected);
    EXPECT_FALSE(CCardScan::DeviceFolderFor(fs::temp_directory_path().string()));
    EXPECT_FALSE(CCardScan::DeviceFolderFor((t / "missing").string()));
}

TEST(CardScan, CardFolderIsADirectSubfolderOfTheDeviceFolderOnly)
{
    TempDir t;
    fs::path device = MakeCard(t.Path(), {1});
    fs::create_directories(device / "TQ9_0001" / "deeper");
    tq9test::WriteFile(device / "TQ9_0001" / "file.mp4", "");
    EXPECT_EQ(CCardScan::CardFolder((device / "TQ9_0001").string() + "/"),
              fs::canonical(device / "TQ9_0001").string());
    for (const fs::path& not_ : {t.Path(), device, device / "TQ9_0001" / "deeper", device / "TQ9_0001" / "file.mp4",
                                 t / "missing", fs::temp_directory_path()})
        EXPECT_FALSE(CCardScan::CardFolder(not_.string())) << not_;
}

TEST(CardRoots, ReadsMountPointsInPathOrderWithEscapes)
{
    TempDir t;
    WriteFile(t / "mounts", "/dev/sdb1 /media/user/SD\\040CARD vfat rw 0 0\n"
                            "proc /proc proc rw 0 0\n"
                            "/dev/sda1 / ext4 rw 0 0\n"
                            "/dev/sdc1 /media/user/B vfat rw 0 0\n"
                            "/dev/sda1 / ext4 rw 0 0\n");
    auto roots = CCardRoots::MountPoints((t / "mounts").string());
    EXPECT_EQ(roots, (std::vector<std::string> {"/", "/media/user/B", "/media/user/SD CARD", "/proc"}));

    CCardRoots::ClearExtraRoots();
    CCardRoots::AddExtraRoot("/x/card/");
    CCardRoots::AddExtraRoot("/x/card");
    auto all = CCardRoots::All();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back(), "/x/card");
    EXPECT_EQ(std::count(all.begin(), all.end(), "/x/card"), 1);
    CCardRoots::ClearExtraRoots();
}

TEST(CardRoots, WatchableLeavesOutKernelAutomountAndNetworkFileSystemsButNotWhatIsMountedOverThem)
{
    TempDir t;
    WriteFile(t / "mounts", "proc /proc proc rw 0 0\n"
                            "systemd-1 /media/auto autofs rw 0 0\n"
                            "server:/x /media/net nfs4 rw 0 0\n"
                            "systemd-1 /media/sd autofs rw 0 0\n"
                            "/dev/sdb1 /media/sd vfat rw 0 0\n"
                            "/dev/sdc1 /media/exfat fuseblk rw 0 0\n"
                            "tmpfs /tmp/card tmpfs rw 0 0\n");
    CCardRoots::SetMountsFile((t / "mounts").string());
    CCardRoots::ClearExtraRoots();
    CCardRoots::AddExtraRoot("/x/card");
    EXPECT_EQ(CCardRoots::Watchable(), (std::vector<std::string>{"/media/exfat", "/media/sd", "/tmp/card", "/x/card"}));
    EXPECT_EQ(CCardRoots::All().size(), 7u) << "a mount change or a refresh still looks at every root";
    CCardRoots::ClearExtraRoots();
    CCardRoots::SetMountsFile({});
}

TEST(RemainingSpace, SaysTheSizeByTheProgramsRule)
{
    EXPECT_EQ(CCardLayout::GroupThousands(0), "0");
    EXPECT_EQ(CCardLayout::GroupThousands(999), "999");
    EXPECT_EQ(CCardLayout::GroupThousands(1000), "1,000");
    EXPECT_EQ(CCardLayout::GroupThousands(1234567), "1,234,567");
    EXPECT_EQ(CCardLayout::GroupThousands(18446744073709551615ull), "18,446,744,073,709,551,615");
    EXPECT_EQ(CCardLayout::RemainingSpaceText(uint64_t(526389248)), "Remaining space 526 MB");
    EXPECT_EQ(CCardLayout::RemainingSpaceText(std::string("/no/such/path")), "Remaining space 0 B");
}

TEST(CardScan, AJobOfThisProcessClaimingTheCardDoesNotHoldUpItsListing)
{
    // The window rescans its cards while its own import runs: the job's claim must not be a lock the
    // listing waits on (it waited for the whole import, with the window frozen).
    TempDir t;
    const fs::path folder = MakeCard(t / "card", {1, 2}) / "TQ9_0001";
    const CCardClaim claim(folder.string());
    ASSERT_TRUE(CCardClaim::Claimed((t / "card").string()));
    const auto start = std::chrono::steady_clock::now();
    const auto folders = CCardScan::ListFolders((t / "card" / "TQ-9").string());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    ASSERT_TRUE(folders);
    EXPECT_EQ(folders->size(), 2u);
    EXPECT_TRUE(CCardScan::CreateNumberedFolder((t / "card" / "TQ-9").string()));
}
