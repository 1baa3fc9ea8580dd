// The About dialog: the program icon, its name with version, the licences of the program, FFmpeg and Qt,
// and where the source is. UI thread only.
#pragma once

#include <QDialog>

namespace tq9 {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

} // namespace tq9
