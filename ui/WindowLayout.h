// Remembers the main window's layout between runs: size and position (maximised or not), the splitter
// between tree and list, the list's column widths and sort column, and the folder shown. Kept with the preferences
// (QSettings, group "Window"). UI thread only.
#pragma once

#include <string>

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
    // The card folder shown when the window closed ("" when none), to be shown again at the next start.
    static std::string LastFolder();
    static void SaveLastFolder(const std::string& folder);
};

} // namespace tq9
