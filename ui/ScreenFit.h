// Keeps each window of the program on its screen whole: a window or dialog about to show that is larger than
// the screen's free area (a large QT_SCALE_FACTOR on a small screen, a size saved on a larger screen) is
// made smaller, down to its minimum size, and moved inside it, so that no button is out of reach.
// Installed once on the application object; UI thread only.
#pragma once

#include <QObject>

class QWidget;

namespace tq9 {

class CScreenFit : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Fits window into the free area of its screen (no change when it fits).
    static void Fit(QWidget& window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace tq9
