// Names as a FAT or exFAT card takes and compares them.
#include <gtest/gtest.h>

#include "platform/FatNames.h"
#include "support/TestSupport.h"

using namespace tq9;
using namespace tq9test;

TEST(FatNames, CardSafeMapsWhatTheCardRefusesAndCutsAtACharacter)
{
    EXPECT_EQ(CFatNames::CardSafe("ok", 255), "ok");
    EXPECT_EQ(CFatNames::CardSafe("a\"b*c/d:e<f>g?h\\i|j", 255), "a_b_c_d_e_f_g_h_i_j");
    EXPECT_EQ(CFatNames::CardSafe("tab\there\nnl\x7f", 255), "tab_here_nl_");
    EXPECT_EQ(CFatNames::CardSafe("trailing. . ", 255), "trailing____");
    EXPECT_EQ(CFatNames::CardSafe(". leading", 255), ". leading");
    // Bytes that are not UTF-8: a lone continuation byte, Latin-1, an overlong "/" and a surrogate.
    EXPECT_EQ(CFatNames::CardSafe("caf\xe9-\x80-\xc0\xaf-\xed\xa0\x80", 255), "caf_-_-__-___");
    // A cut never splits a character: "\xe6\x97\xa5" is three bytes.
    EXPECT_EQ(CFatNames::CardSafe("ab\xe6\x97\xa5\xe6\x9c\xac", 7), "ab\xe6\x97\xa5");
    EXPECT_EQ(CFatNames::CardSafe("ab\xe6\x97\xa5\xe6\x9c\xac", 4), "ab");
}

TEST(FatNames, FoldComparesAsTheCardDoes)
{
    EXPECT_EQ(CFatNames::Fold("Clip.mp4"), CFatNames::Fold("CLIP.MP4"));
    EXPECT_EQ(CFatNames::Fold("\xc3\xa9t\xc3\xa9"), CFatNames::Fold("\xc3\x89T\xc3\x89")); // été / ÉTÉ
    EXPECT_NE(CFatNames::Fold("clip (2).mp4"), CFatNames::Fold("clip (3).mp4"));
    EXPECT_EQ(CFatNames::Fold("bad\xff"), "BAD\xff");

    TempDir t;
    WriteFile(t / "Song.MP3", "");
    EXPECT_EQ(CFatNames::FoldedListing(t.Path().string()), (std::set<std::string> {"SONG.MP3"}));
}
