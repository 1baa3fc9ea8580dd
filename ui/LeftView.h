// The folder tree: one top-level node per card found at start-up, with the folders of its device folder
// directly under it. Selecting a folder shows it in the file list and the address bar and the card's free
// space in the status bar; desktop files dropped on a folder are imported into it, card files dragged from
// the file list are duplicated into it. UI thread only.
#pragma once

#include <QIcon>
#include <QTreeWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tq9 {

class CAddressBar;
class CDuplicator;
class CFileObserver2;
class CImporter;
class CMainFrame;
class CRightView;

// One node's record. A card's top-level record has the device folder record as its only child; that one
// has no node, and its children are the card's folders, whose nodes sit directly under the card's node.
struct TreeViewItem {
    std::string path;
    QString displayName;
    QIcon icon; // closed folder normally, open folder while selected
    QTreeWidgetItem* treeItem = nullptr;
    std::vector<std::unique_ptr<TreeViewItem>> children;
    TreeViewItem* parent = nullptr;
};

class CLeftView : public QTreeWidget {
    Q_OBJECT
public:
    explicit CLeftView(QWidget* parent = nullptr);
    ~CLeftView() override;

    // Links set by the frame right after it created the views and jobs; none is owned.
    void SetLinks(CMainFrame* frame, CRightView* fileList, CAddressBar* addressBar, CFileObserver2* observer,
                  CImporter* importer, CDuplicator* duplicator);

    // The card scan: fills the tree once with every card and its folders, watching and caching each
    // folder. A failing scan shows string 131 (caption string 130) and leaves what was filled so far.
    void Build();
    // Creates the lowest free numbered folder on the selected card and adds it as the card's last node.
    bool CreateNumberedFolder();
    // Selects the node whose record has exactly this path; false when there is none.
    bool SelectByPath(const std::string& path);

    bool HasSelection() const { return SelectedRecord() != nullptr; }
    // Path of the selected record; empty without a selection.
    std::string SelectedPath() const;
    // Free bytes on the selected path's volume; 0 without a selection or when the query fails.
    uint64_t RemainingSpace() const;
    // The top-level records (tests, diagnostics).
    const std::vector<std::unique_ptr<TreeViewItem>>& Records() const { return m_records; }
    QTreeWidgetItem* DropHighlight() const { return m_dropHighlight; }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void AddCard(const std::string& root, const std::string& deviceFolder,
                 const std::vector<std::string>& folders);
    void AddFolderRecord(TreeViewItem& deviceRecord, const std::string& folder);
    void OnSelectionChanged();
    void ShowRemainingSpace();
    TreeViewItem* SelectedRecord() const;
    static TreeViewItem* RecordOf(const QTreeWidgetItem* item);
    static TreeViewItem* Find(const std::vector<std::unique_ptr<TreeViewItem>>& records, const std::string& path);
    void SetDropHighlight(QTreeWidgetItem* item);

    CMainFrame* m_frame = nullptr;
    CRightView* m_fileList = nullptr;
    CAddressBar* m_addressBar = nullptr;
    CFileObserver2* m_observer = nullptr;
    CImporter* m_importer = nullptr;
    CDuplicator* m_duplicator = nullptr; // card files dragged here from the file list are duplicated
    std::vector<std::unique_ptr<TreeViewItem>> m_records;
    QTreeWidgetItem* m_dropHighlight = nullptr;
};

} // namespace tq9
