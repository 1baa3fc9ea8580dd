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
    // Leaves the window as built when nothing was saved or what was saved cannot be read. True when the
    // saved column widths were set by the user (otherwise the list fits them to its texts again).
    static bool Restore(QMainWindow& window, QSplitter& splitter, QHeaderView& listHeader);
    static void Save(const QMainWindow& window, const QSplitter& splitter, const QHeaderView& listHeader,
                     bool columnsByHand);
};

} // namespace tq9
