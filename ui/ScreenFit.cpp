#include "ui/ScreenFit.h"

#include <QEvent>
#include <QScreen>
#include <QStyle>
#include <QWidget>

#include <algorithm>

namespace tq9 {

void CScreenFit::Fit(QWidget& window)
{
    const QScreen* screen = window.screen();
    if (!screen)
        return;
    const QRect free = screen->availableGeometry();
    // The frame the window manager adds; before the first show it is not known yet, so a title bar's height.
    QSize frame = window.frameGeometry().size() - window.geometry().size();
    if (frame.isEmpty())
        frame = QSize(0, window.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &window));
    const QSize room = free.size() - frame;
    const QSize size = window.size();
    if (size.width() > room.width() || size.height() > room.height())
        window.resize(std::max(window.minimumWidth(), std::min(size.width(), room.width())),
                      std::max(window.minimumHeight(), std::min(size.height(), room.height())));
    QRect placed = window.frameGeometry();
    placed.setSize(window.size() + frame);
    const int x = std::clamp(placed.x(), free.left(), std::max(free.left(), free.right() + 1 - placed.width()));
    const int y = std::clamp(placed.y(), free.top(), std::max(free.top(), free.bottom() + 1 - placed.height()));
    if (x != placed.x() || y != placed.y())
        window.move(x, y);
}

bool CScreenFit::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        // Menus, tool tips and the like place themselves.
        if (widget->windowType() == Qt::Window || widget->windowType() == Qt::Dialog)
            Fit(*widget);
    }
    return QObject::eventFilter(watched, event);
}

} // namespace tq9
