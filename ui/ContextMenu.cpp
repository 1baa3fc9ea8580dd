#include "ui/ContextMenu.h"

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>

namespace tq9 {

QMenu* CContextMenu::Popup(QAbstractItemView& view, const QList<QAction*>& actions, const QContextMenuEvent& event)
{
    QPoint at; // in the viewport
    if (event.reason() == QContextMenuEvent::Mouse) {
        at = view.viewport()->mapFromGlobal(event.globalPos());
        const QModelIndex index = view.indexAt(at);
        if (index.isValid() && !view.selectionModel()->isSelected(index))
            view.selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                              QItemSelectionModel::Rows);
    } else {
        // Beside the current item, or at the top of the view without one.
        const QRect item = view.visualRect(view.currentIndex());
        at = item.isValid() ? QPoint(item.left() + 16, item.bottom()) : QPoint(8, 8);
    }
    auto* menu = new QMenu(&view);
    menu->setObjectName(QStringLiteral("contextMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addActions(actions);
    // The first command that applies is where the keyboard starts.
    for (QAction* action : actions)
        if (action->isEnabled() && !action->isSeparator()) {
            menu->setActiveAction(action);
            break;
        }
    menu->popup(view.viewport()->mapToGlobal(at));
    return menu;
}

bool CContextMenu::IsMenuKey(const QKeyEvent& event)
{
    return event.key() == Qt::Key_F10 && event.modifiers() == Qt::ShiftModifier;
}

QMenu* CContextMenu::PopupFromKeyboard(QAbstractItemView& view, const QList<QAction*>& actions)
{
    const QRect item = view.visualRect(view.currentIndex());
    const QPoint local = item.isValid() ? item.center() : QPoint(8, 8);
    const QContextMenuEvent event(QContextMenuEvent::Keyboard, local, view.viewport()->mapToGlobal(local));
    return Popup(view, actions, event);
}

} // namespace tq9
