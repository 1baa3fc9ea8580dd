// An eject without the disk service: a card on a file system UDisks2 cannot know (a tmpfs mounted by hand)
// gets the command to run instead, and a folder that is no mounted card is refused by name.
#include <gtest/gtest.h>

#include <cstdlib>

#include "card/CardEject.h"
#include "support/ScratchMount.h"
#include "support/TestSupport.h"

using namespace tq9test;

TEST(CardEjectTest, WithoutTheDiskServiceTheMessageSaysWhatToRunAndAFolderIsNoCard)
{
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/tq9-no-bus", 1);
    TempDir dir;
    MakeCard(dir / "card", {1});
    tq9::CCardEject::Result r = tq9::CCardEject::Eject((dir / "card").string());
    EXPECT_FALSE(r.ejected);
    EXPECT_EQ(r.message, (dir / "card").string() + " is not a mounted TQ-9 card.");

    std::string why;
    const auto card = ScratchMount::Tmpfs("1m", why);
    if (!card)
        GTEST_SKIP() << why;
    MakeCard(card->Path(), {1});
    r = tq9::CCardEject::Eject(card->Path().string());
    EXPECT_FALSE(r.ejected);
    EXPECT_NE(r.message.find("\nsudo umount '" + card->Path().string() + "'"), std::string::npos) << r.message;
}
