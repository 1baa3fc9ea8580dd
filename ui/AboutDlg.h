// The About dialog: the program icon and its name with version. UI thread only.
#pragma once

#include <QDialog>

namespace tq9 {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

} // namespace tq9
