// The Japanese catalogue must be usable wherever the English one is: every ID translated, and the same
// printf fields and layout characters, since callers fill and show both the same way.
#include "res/MessageCatalogue.h"
#include "res/MessageCatalogueJa.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tq9;

namespace {
std::string Skeleton(const std::string& text)
{
    // The fields and the tabs/line breaks, in order.
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size())
            out += text.substr(i++, 2);
        else if (text[i] == '\t' || text[i] == '\n')
            out += text[i];
    }
    return out;
}
} // namespace

TEST(CatalogueJaTest, EveryIdIsTranslatedWithTheSameFieldsAndLayout)
{
    const auto& ja = JapaneseCatalogue();
    std::vector<int> ids;
    for (int id = 128; id <= 153; ++id)
        ids.push_back(id);
    for (int id = 200; id <= 207; ++id)
        ids.push_back(id);
    for (int id = IDS_CARD_FULL; id <= IDS_SPACE_FREE; ++id)
        ids.push_back(id);
    for (int id = IDS_EXPORT_NOT_MEDIA; id <= IDS_EXPORT_OTHERS_HANDED_OVER; ++id)
        ids.push_back(id);
    for (int id = IDS_NO_CARD_HINT; id <= IDS_OPEN_FILE_FAILED; ++id)
        ids.push_back(id);
    for (int id = IDS_ONE_FILE_EXPORTED; id <= IDS_SIDECAR_ENTRY_LEFT; ++id)
        ids.push_back(id);
    for (int id = IDS_CONVERTED_SOME; id <= IDS_CARD_REMOVED; ++id)
        ids.push_back(id);
    ids.push_back(57344);
    ids.push_back(57345);
    for (int id : ids) {
        ASSERT_FALSE(CMessageCatalogue::Builtin(id).empty()) << id;
        auto it = ja.find(id);
        ASSERT_NE(it, ja.end()) << id;
        EXPECT_EQ(Skeleton(it->second), Skeleton(CMessageCatalogue::Builtin(id))) << id;
    }
    EXPECT_EQ(ja.size(), ids.size());
    // The name is also where the preferences live, 
    EXPECT_EQ(ja.at(57344), CMessageCatalogue::Builtin(57344));
    // 129 names the manual in the catalogue's own language.
    EXPECT_EQ(ja.at(129), "TQ9_image_converter_j.html");
}

TEST(CatalogueJaTest, InstalledTextsAreFilledAndTitledLikeTheEnglishOnes)
{
    CMessageCatalogue::Install(JapaneseCatalogue());
    const std::string remaining = FormatText(CMessageCatalogue::Get(IDS_REMAINING_SPACE), "1,234");
    const std::string title = CMessageCatalogue::WindowTitle();
    CMessageCatalogue::Reset();
    EXPECT_EQ(remaining, "\t\t残り容量 1,234 バイト");
    EXPECT_EQ(title, "TQ-9 Image Converter");
}
