// The context menus of the tree and the list: opened by the right button at the pointer, and by the Menu
// key or Shift+F10 beside the current item, so that the keyboard reaches every command. UI thread only.
#pragma once

#include <QList>

class QAbstractItemView;
class QAction;
class QContextMenuEvent;
class QKeyEvent;
class QMenu;

namespace tq9 {

class CContextMenu {
public:
    // Shows actions for event over view: a press on an item makes it the current (and, when it was not
    // selected, the only selected) item first. Returns the menu, which deletes itself once closed.
    static QMenu* Popup(QAbstractItemView& view, const QList<QAction*>& actions, const QContextMenuEvent& event);
    // True for Shift+F10, which the window system does not turn into a context-menu event itself.
    static bool IsMenuKey(const QKeyEvent& event);
    // The keyboard's request as the window system makes it for the Menu key.
    static QMenu* PopupFromKeyboard(QAbstractItemView& view, const QList<QAction*>& actions);
};

} // namespace tq9
