#include "ui/AboutDlg.h"

#include "res/Version.h"
#include "ui/ToolIcons.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace tq9 {

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(tr("About TQ-9 Image Converter"));
    auto* icon = new QLabel(this);
    icon->setPixmap(CToolIcons::AppIcon().pixmap(32, 32));
    icon->setAccessibleName(tr("Program icon"));
    auto* version = new QLabel(QString::fromLatin1(tq9::kVersionText), this);
    version->setObjectName(QStringLiteral("version"));
    // FFmpeg's and Qt's licences ask for their notice wherever the program is handed on.
    const QString homepage = QString::fromLatin1(kHomepage);
    auto* notice = new QLabel(
        tr("<p>Version %1. Copyright 2026 the TQ-9 Image Converter authors. All rights reserved: the program "
           "has not been published under a licence yet. Program and source: <a href=\"%2\">%2</a></p>"
           "<p>It uses FFmpeg, under the GNU Lesser General Public License 2.1 or later (as Debian builds "
           "it, the GNU General Public License 2 or later), and Qt %3, under the GNU Lesser General Public "
           "License 3. Both are linked as shared libraries that can be replaced; their source is at "
           "<a href=\"https://ffmpeg.org\">ffmpeg.org</a> and <a href=\"https://www.qt.io\">qt.io</a>, "
           "and in Debian's source packages ffmpeg and qt6-base.</p>")
            .arg(QString::fromLatin1(kVersion), homepage, QString::fromLatin1(qVersion())),
        this);
    notice->setObjectName(QStringLiteral("licences"));
    notice->setWordWrap(true);
    notice->setTextFormat(Qt::RichText);
    notice->setOpenExternalLinks(true);
    notice->setTextInteractionFlags(Qt::TextBrowserInteraction);
    auto* ok = new QPushButton(tr("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(16, 12, 12, 12);
    layout->setHorizontalSpacing(16);
    layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(version, 0, 1, Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(ok, 0, 2, Qt::AlignTop);
    layout->addWidget(notice, 1, 1, 1, 2);
    layout->setColumnStretch(1, 1);
    // Wide enough for the notice to read as paragraphs (70 Latin letters; a CJK font's average glyph is
    // twice as wide), never wider than the screen, and as high as the wrapped text then needs.
    const int letter = fontMetrics().horizontalAdvance(QLatin1Char('x'));
    int width = letter * 70;
    if (const QScreen* shown = screen())
        width = std::min(width, shown->availableGeometry().width() - 4 * letter);
    setMinimumWidth(std::min(width, 350));
    resize(width, layout->hasHeightForWidth() ? layout->totalHeightForWidth(width) : sizeHint().height());
}

} // namespace tq9
