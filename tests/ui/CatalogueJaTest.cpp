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
    // Every id the built-in catalogue knows, so a new text cannot go untranslated unnoticed.
    std::vector<int> ids;
    for (int id = 0; id <= 0xFFFF; ++id)
        if (!CMessageCatalogue::Builtin(id).empty())
            ids.push_back(id);
    for (int id : ids) {
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
