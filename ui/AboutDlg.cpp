#include "ui/AboutDlg.h"

#include "res/Version.h"
#include "ui/ToolIcons.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace tq9 {

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(tr("About TQ-9 Image Converter"));
    auto* icon = new QLabel(this);
    icon->setPixmap(CToolIcons::AppIcon().pixmap(32, 32));
    auto* version = new QLabel(QString::fromLatin1(tq9::kVersionText), this);
    version->setObjectName(QStringLiteral("version"));
    auto* ok = new QPushButton(tr("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(16, 12, 12, 12);
    layout->setHorizontalSpacing(16);
    layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(version, 0, 1, Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(ok, 0, 2, Qt::AlignTop);
    layout->setColumnStretch(1, 1);
    setMinimumWidth(350);
}

} // namespace tq9
