// The strip beside the toolbar that shows the folder selected in the tree and the folders visited since
// start-up, most recent first; picking one asks for that folder (FolderChosen), which the frame has the
// tree select. UI thread only.
#pragma once

#include <QWidget>

#include <string>
#include <vector>

class QComboBox;
class QLabel;

namespace tq9 {

class CAddressBar : public QWidget {
    Q_OBJECT
public:
    explicit CAddressBar(QWidget* parent = nullptr);

    // Puts path on top of the history (removing an older entry with the same text) and selects it.
    // Selecting it this way does not navigate.
    void ShowFolder(const std::string& path);

    // Takes out the entries of root and the folders under it (a card that went); when the folder shown was
    // one of them, the bar shows nothing.
    void Forget(const std::string& root);

    // The history, entry 0 first (the current folder).
    std::vector<std::string> History() const;
    QComboBox* HistoryBox() const { return m_history; }

signals:
    // The user picked path from the history. Whoever selects it calls ShowFolder, which brings it to the
    // top; otherwise the bar goes back to the entry on top.
    void FolderChosen(const std::string& path);

private:
    void GoToChosenFolder(int index);

    QLabel* m_label = nullptr;
    QComboBox* m_history = nullptr;
};

} // namespace tq9
