// The program's command line and its version.
#include "res/Version.h"
#include "ui/AboutDlg.h"
#include "ui/ToolIcons.h"
#include "support/TestSupport.h"

#include <QImage>
#include <QLabel>

#include <algorithm>

#include <gtest/gtest.h>

using namespace tq9test;

TEST(AppTest, HelpNamesTheCardRootOptionAndNeedsNoDisplay)
{
    const fs::path app = BinPath("tq9-image-converter");
    if (!fs::exists(app))
        GTEST_SKIP() << "the program is not built";
    const ProcessResult help = RunProcess({app.string(), "--help"}, {"QT_QPA_PLATFORM=", "DISPLAY="});
    EXPECT_EQ(help.exitCode, 0) << help.err;
    EXPECT_NE(help.out.find("--card-root <DIR>"), std::string::npos) << help.out;

    const ProcessResult wrong = RunProcess({app.string(), "--no-such-option", "--help"});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_NE(wrong.err.find("no-such-option"), std::string::npos) << wrong.err;
}

TEST(AppTest, VersionAndUsageErrorsNeedNoDisplay)
{
    const fs::path app = BinPath("tq9-image-converter");
    if (!fs::exists(app))
        GTEST_SKIP() << "the program is not built";
    const std::vector<std::string> noDisplay = {"QT_QPA_PLATFORM=", "DISPLAY=", "WAYLAND_DISPLAY="};
    const ProcessResult version = RunProcess({app.string(), "--version"}, noDisplay);
    EXPECT_EQ(version.exitCode, 0) << version.err;
    EXPECT_EQ(version.out, std::string("tq9-image-converter (TQ-9 Image Converter) ") + tq9::kVersion + "\n");

    // A wrong option is a usage error even where no window could open.
    const ProcessResult wrong = RunProcess({app.string(), "--no-such-option"}, noDisplay);
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_EQ(wrong.out, "");
    EXPECT_NE(wrong.err.find("no-such-option"), std::string::npos) << wrong.err;

    // The window itself cannot open: one line says why, status 1, no abort.
    const ProcessResult window = RunProcess({app.string()}, noDisplay);
    EXPECT_EQ(window.exitCode, 1) << window.err;
    EXPECT_EQ(std::count(window.err.begin(), window.err.end(), '\n'), 1) << window.err;
    EXPECT_NE(window.err.find("no display"), std::string::npos) << window.err;
}

TEST(AppTest, AboutBoxShowsTheProjectsVersionInItsOwnForm)
{
    // 1.0.22 reads "Ver 1.022": major.minor with the patch number, two digits, appended.
    const QStringList parts = QString::fromLatin1(tq9::kVersion).split(QLatin1Char('.'));
    ASSERT_EQ(parts.size(), 3);
    const QString expected = QStringLiteral("TQ-9 Image Converter Ver %1.%2%3")
                                 .arg(parts[0], parts[1], parts[2].rightJustified(2, QLatin1Char('0')));
    tq9::CAboutDlg about;
    const auto* version = about.findChild<QLabel*>(QStringLiteral("version"));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), expected);
    // The notices FFmpeg's and Qt's licences ask for, and where the source is.
    const auto* licences = about.findChild<QLabel*>(QStringLiteral("licences"));
    ASSERT_NE(licences, nullptr);
    for (const char* part : {"FFmpeg", "Lesser General Public License 2.1", "Qt ", "License 3", tq9::kHomepage})
        EXPECT_TRUE(licences->text().contains(QString::fromLatin1(part))) << part;
}

// The window's and the desktop's icon: its white lettering stays inside the card's outline at every size
// (at 256 px a fixed font size once ran into it) and is still there at 16 px, where "TQ-9" cannot be read
// and a big "9" stands for it.
TEST(AppTest, IconLetteringStaysInsideTheCardAndShowsAt16Pixels)
{
    const QIcon icon = tq9::CToolIcons::AppIcon();
    for (int size : {16, 24, 32, 48, 256}) {
        const QImage image = icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.width(), size);
        int left = size, right = -1, top = size, bottom = -1, count = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.alpha() > 200 && c.red() > 200 && c.green() > 200 && c.blue() > 200) {
                    left = std::min(left, x), right = std::max(right, x);
                    top = std::min(top, y), bottom = std::max(bottom, y);
                    ++count;
                }
            }
        // The card's outline runs at 5 and 27 across and 30 down on the 32-unit grid; its contacts end at 10.
        const double unit = size / 32.0;
        EXPECT_GE(count, size <= 24 ? 12 : size / 2) << size;
        EXPECT_GT(left, 5 * unit + 1) << size;
        EXPECT_LT(right, 27 * unit - 1) << size;
        EXPECT_GT(top, 10 * unit) << size;
        EXPECT_LT(bottom, 30 * unit - 1) << size;
    }
}
