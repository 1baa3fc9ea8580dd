// Remembers the main window's layout between runs: size and position (maximised or not), the splitter
// between tree and list, and the list's column widths and sort column. Kept with the preferences
// (QSettings, group "Window"). UI thread only.
#pragma once

class QHeaderView;
class QMainWindow;
class QSplitter;

namespace tq9 {

class CWindowLayout {
public:
    // Leaves the window as built when nothing was saved or what was saved cannot be read.
    static void Restore(QMainWindow& window, QSplitter& splitter, QHeaderView& listHeader);
    static void Save(const QMainWindow& window, const QSplitter& splitter, const QHeaderView& listHeader);
};

} // namespace tq9
