#include <gtest/gtest.h>

#include "res/MessageCatalogue.h"

using namespace tq9;

TEST(MessageCatalogue, TextsThatCarryLayoutAreExact)
{
    EXPECT_EQ(CMessageCatalogue::Get(IDS_REMAINING_SPACE_ZERO), std::string(24, ' ') + "Remaining space 0 byte");
    EXPECT_EQ(CMessageCatalogue::Get(IDS_REMAINING_SPACE), "\t\tRemaining space %s byte");
    EXPECT_EQ(FormatText(CMessageCatalogue::Get(IDS_BYTES_OF), "1 B", "2 B"), "1 B of 2 B");
    EXPECT_EQ(CMessageCatalogue::Get(IDS_FAILED_FILES_HEADING), "\n\nfilename\n");
    EXPECT_EQ(CMessageCatalogue::Get(IDS_DISPLAY_FOLDER_FAILED), "Faild to display TQ-9 folder.");
    EXPECT_EQ(CMessageCatalogue::WindowTitle(), "TQ-9 Image Converter");
    EXPECT_EQ(CMessageCatalogue::Get(IDS_APP_NAME), "TQ-9 Image Converter");
    EXPECT_EQ(CMessageCatalogue::Get(12345), "");
    // Every ID of the table resolves.
    for (int id = 128; id <= 153; ++id)
        EXPECT_FALSE(CMessageCatalogue::Get(id).empty()) << id;
    for (int id = 200; id <= 207; ++id)
        EXPECT_FALSE(CMessageCatalogue::Get(id).empty()) << id;
    for (int id = IDS_CARD_FULL; id <= IDS_SPACE_FREE; ++id)
        EXPECT_FALSE(CMessageCatalogue::Get(id).empty()) << id;
    for (int id = IDS_EXPORT_NOT_MEDIA; id <= IDS_EXPORT_OTHERS_HANDED_OVER; ++id)
        EXPECT_FALSE(CMessageCatalogue::Get(id).empty()) << id;
    EXPECT_EQ(CMessageCatalogue::Get(IDS_READY), "Ready.");
}

TEST(MessageCatalogue, InstalledTranslationOverridesAndResets)
{
    CMessageCatalogue::Install({{IDS_READY, "準備完了"}});
    EXPECT_EQ(CMessageCatalogue::Get(IDS_READY), "準備完了");
    EXPECT_EQ(CMessageCatalogue::Get(IDS_ERROR_CAPTION), "Error"); // untranslated IDs fall back
    EXPECT_EQ(CMessageCatalogue::Builtin(IDS_READY), "Ready.");
    CMessageCatalogue::Reset();
    EXPECT_EQ(CMessageCatalogue::Get(IDS_READY), "Ready.");
}

TEST(FormatText, FillsOnlyWhatTheTextAsksFor)
{
    EXPECT_EQ(FormatText(CMessageCatalogue::Get(IDS_NOT_DIRECTORY), "/card/x"),
              "The /card/x is not directry attribution.");
    EXPECT_EQ(FormatText(CMessageCatalogue::Get(IDS_CONVERTED_FILE), 2, 5), "Converted file 2/5");
    // A path holding "%s" or "%d" is text, not a format.
    EXPECT_EQ(FormatText("Converting %s", "/a/%s%d%n"), "Converting /a/%s%d%n");
    EXPECT_EQ(FormatText("%s and %s", "x"), "x and %s");
    EXPECT_EQ(FormatText("100%% %d", 7, 8), "100% 7");
}
