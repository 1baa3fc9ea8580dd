#include "ui/ManualWindow.h"

#include "res/MessageCatalogue.h"

#include <QAction>
#include <QDesktopServices>
#include <QKeySequence>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace tq9 {

CManualWindow::CManualWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QString::fromStdString(CMessageCatalogue::Get(IDS_MANUAL_TITLE)));
    resize(760, 640);
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("manual"));
    // Pages of the manual open here; anything else (a web address) with the desktop's program for it.
    m_browser->setOpenLinks(false);
    connect(m_browser, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        if (url.isLocalFile() || url.isRelative())
            m_browser->setSource(m_browser->source().resolved(url));
        else
            QDesktopServices::openUrl(url);
    });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);

    auto shortcut = [this](QKeySequence key, auto slot) {
        auto* action = new QAction(this);
        action->setShortcut(key);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
    };
    shortcut(QKeySequence::Back, [this] { m_browser->backward(); });
    shortcut(QKeySequence::Forward, [this] { m_browser->forward(); });
    shortcut(QKeySequence(Qt::Key_Escape), [this] { close(); });
}

void CManualWindow::ShowManual(const std::string& path)
{
    const QUrl url = QUrl::fromLocalFile(QString::fromStdString(path));
    if (m_browser->source() != url)
        m_browser->setSource(url);
    show();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
}

} // namespace tq9
