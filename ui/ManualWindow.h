// The manual in a window of the program's own: Qt's text browser shows the HTML with its pictures and
// follows its links, so Help works with no web browser installed. Links that leave the manual (web
// addresses) go to the desktop. Back and forward with Alt+Left and Alt+Right, Escape closes.
//
// UI thread only. Owns its browser; the application object keeps one and shows it again.
#pragma once

#include <QWidget>

#include <string>

class QTextBrowser;

namespace tq9 {

class CManualWindow : public QWidget {
    Q_OBJECT
public:
    explicit CManualWindow(QWidget* parent = nullptr);

    // Shows the manual file (a path from CManual::Find) and brings the window to the front.
    void ShowManual(const std::string& path);

    QTextBrowser* Browser() const { return m_browser; }

private:
    QTextBrowser* m_browser = nullptr;
};

} // namespace tq9
