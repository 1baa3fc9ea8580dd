// The English and Japanese manuals cover every command the window has (its menus and context menus, in the
// language of the manual) and every command of tq9, and the pictures they show are there.
#include "GuiFixture.h"

#include "res/MessageCatalogue.h"
#include "res/MessageCatalogueJa.h"
#include "ui/Manual.h"
#include "ui/ManualWindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QToolBar>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QTranslator>

#include <sstream>

using namespace tq9;
using namespace tq9test;

namespace {

const fs::path kManuals = fs::path(TQ9_SOURCE_DIR) / "docs/manual";

// The texts of every command the window offers, as its menus show them, without the mnemonic markers.
std::vector<std::string> CommandTexts(const CMainFrame& frame)
{
    std::vector<std::string> texts;
    for (const QAction* action : frame.findChildren<QAction*>()) {
        QString text = action->text();
        text.remove(QRegularExpression(QStringLiteral("\\(&.\\)|&")));
        // A toolbar's own show/hide entry is not a command (and the window offers no menu of them).
        if (action->isSeparator() || text.isEmpty() || action->menu() || qobject_cast<QToolBar*>(action->parent()))
            continue;
        texts.push_back(text.toStdString());
    }
    return texts;
}

void ExpectCovers(const fs::path& manual, const std::vector<std::string>& texts)
{
    const std::string html = ReadFile(manual);
    for (const std::string& text : texts)
        EXPECT_NE(html.find(text), std::string::npos) << manual.filename() << " does not mention " << text;
    // Every picture it shows is beside it.
    const QString page = QString::fromStdString(html);
    auto images = QRegularExpression(QStringLiteral("<img src=\"([^\"]+)\"")).globalMatch(page);
    int count = 0;
    for (; images.hasNext(); ++count) {
        const std::string src = images.next().captured(1).toStdString();
        EXPECT_TRUE(fs::is_regular_file(manual.parent_path() / src)) << manual.filename() << ": " << src;
    }
    EXPECT_GE(count, 2) << manual.filename() << ": the window and its context menu";
}

class ManualTest : public GuiFixture {};

} // namespace

TEST_F(ManualTest, TheEnglishManualNamesEveryCommandOfTheWindow)
{
    AddCard("card");
    const std::vector<std::string> texts = CommandTexts(Start());
    for (const char* expected : {"Import...", "Export...", "Duplicate to...", "Open", "Show in File Manager"})
        EXPECT_NE(std::find(texts.begin(), texts.end(), expected), texts.end()) << expected;
    ExpectCovers(kManuals / "TQ9_image_converter_e.html", texts);
}

TEST_F(ManualTest, TheJapaneseManualNamesEveryCommandAsTheJapaneseWindowShowsIt)
{
    QTranslator translator;
    ASSERT_TRUE(translator.load(QStringLiteral(":/i18n/tq9_ja.qm")));
    QCoreApplication::installTranslator(&translator);
    CMessageCatalogue::Install(JapaneseCatalogue());
    AddCard("card");
    const std::vector<std::string> texts = CommandTexts(Start());
    m_frame.reset();
    QCoreApplication::removeTranslator(&translator);
    CMessageCatalogue::Reset();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "取り込み..."), texts.end());
    ExpectCovers(kManuals / "TQ9_image_converter_j.html", texts);
}

// The program's own window shows the manual from its data folder, pictures included, in either language:
// no browser, no /usr/share/doc.
TEST_F(ManualTest, TheManualWindowShowsEachLanguagesManualWithItsPictures)
{
    for (const auto& [file, heading] : {std::pair{"TQ9_image_converter_e.html", "Bringing files onto a card"},
                                        std::pair{"TQ9_image_converter_j.html", "カードへの取り込み"}}) {
        const std::optional<std::string> manual = CManual::Find(file);
        ASSERT_TRUE(manual.has_value()) << file;
        EXPECT_EQ(fs::path(*manual).parent_path().parent_path().filename(), "tq9-image-converter") << *manual;
        CManualWindow window;
        window.ShowManual(*manual);
        EXPECT_TRUE(window.isVisible());
        const QTextDocument& page = *window.Browser()->document();
        EXPECT_TRUE(page.toPlainText().contains(QString::fromUtf8(heading))) << file;
        const QVariant loaded = page.resource(QTextDocument::ImageResource,
                                              window.Browser()->source().resolved(QUrl(QStringLiteral("main-window.png"))));
        const QImage picture = loaded.canConvert<QImage>() && !loaded.value<QImage>().isNull()
                                   ? loaded.value<QImage>()
                                   : QImage::fromData(loaded.toByteArray());
        EXPECT_GT(picture.width(), 100) << file << ": the window's picture";
    }
}

TEST(ManualCli, BothManualsNameEveryCommandOfTq9)
{
    const fs::path tq9 = BinPath("tq9");
    if (!fs::exists(tq9))
        GTEST_SKIP() << "tq9 is not built";
    const ProcessResult help = RunProcess({tq9.string(), "--help"});
    ASSERT_EQ(help.exitCode, 0);
    std::vector<std::string> commands;
    std::istringstream lines(help.out.substr(help.out.find("Commands:")));
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("  ", 0) == 0 && line.size() > 2 && line[2] != ' ')
            commands.push_back(line.substr(2, line.find(' ', 2) - 2));
    ASSERT_GE(commands.size(), 8u) << help.out;
    for (const char* manual : {"TQ9_image_converter_e.html", "TQ9_image_converter_j.html"}) {
        const std::string html = ReadFile(kManuals / manual);
        for (const std::string& command : commands)
            EXPECT_NE(html.find("<code>tq9 " + command), std::string::npos) << manual << ": tq9 " << command;
    }
}
