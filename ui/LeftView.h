// The folder tree: one top-level node per card, with the folders of its device folder directly under it in
// number order. Selecting a folder or a card, a card or folder that goes, the card's free space and a drop
// are announced by signals; the frame wires them to the file list, the address bar and the status bar, so
// the tree knows none of them. Desktop files dropped on a folder are to be imported into it (ImportRequested);
// card files dragged from the file list are duplicated into it here.
//
// The tree stays current: cards mounted or unmounted while the program runs come and go (the mount table
// is watched), and folders made or removed by others appear and disappear (each card's device folder is
// watched).
//
// Threads: UI thread only; the watchers' reports are queued to it. What reads a card (the card scan, a
// device folder's folders, the free space) runs on the tree's own pool and lands on the UI thread, so
// that a slow or hung card never holds the window; the tree changes only where the result differs.
#pragma once

#include "card/CardScan.h"
#include "jobs/JobOutcome.h"
#include "observe/FileObserver2.h"

#include <QIcon>
#include <QList>
#include <QTreeWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QThreadPool;

namespace tq9 {

class CDuplicator;
class CMountWatcher;

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

class CLeftView : public QTreeWidget, public IFolderChangeListener {
    Q_OBJECT
public:
    explicit CLeftView(QWidget* parent = nullptr);
    ~CLeftView() override;

    // Links set by the frame right after it created the observer and the jobs; none is owned. folderFiles
    // hears of changes in the card folders the tree watches (the file list).
    void SetLinks(CFileObserver2* observer, IFolderChangeListener* folderFiles, CDuplicator* duplicator);
    // What a drop checks the folder's file limit against: the folder's listed files, nullopt when it
    // cannot be read. Handed down by the frame (the file list lists folders).
    using FolderListing = std::function<std::optional<std::vector<std::string>>(const std::string& folder)>;
    void SetFolderListing(FolderListing listing) { m_folderListing = std::move(listing); }
    // The folder the file list shows (empty: none); a drop on it is refused.
    void SetListedFolder(const std::string& folder) { m_listedFolder = folder; }

    // The commands of the nodes' context menu (separators included), in menu order.
    void SetContextActions(QList<QAction*> actions) { m_contextActions = std::move(actions); }

    // Starts the card scan, which fills the tree with every card and its folders, watching and caching
    // each folder, and starts watching the mount table. A failing scan shows IDS_CARD_CHECK_FAILED
    // (caption IDS_ERROR_CAPTION) and leaves the tree empty.
    void Build();
    // Looks for cards again (off the UI thread): a card that went loses its nodes (the list empties if it
    // showed one of its folders), a new one is added, and the folders of the others are brought up to date.
    void Rescan();
    // Announces the selected card's free space (after anything that changes it), once read off the UI
    // thread.
    void ShowRemainingSpace();
    // True while a read of the cards has not landed yet (tests wait for it).
    bool Reading() const;
    // What the empty tree says: how to get a card.
    static QString EmptyHint();
    // Creates the lowest free numbered folder on the selected card, adds its node in number order and
    // selects it. A failed outcome says why (the card's cause; JobCause::Other when no card is selected).
    JobOutcome CreateNumberedFolder();
    // Selects the node whose record has exactly this path; false when there is none.
    bool SelectByPath(const std::string& path);

    bool HasSelection() const { return SelectedRecord() != nullptr; }
    // The cards and their folders, as the tree shows them (for the card-folder chooser).
    struct CardFolders {
        QString name;
        std::vector<std::string> folders;
    };
    std::vector<CardFolders> AllFolders() const;
    // Path of the selected record; empty without a selection.
    std::string SelectedPath() const;
    // Free bytes on the selected path's volume; 0 without a selection or when the query fails. Asks the
    // card on the calling thread: for a drop, which waits for the card anyway.
    uint64_t RemainingSpace() const;
    // The top-level records (tests, diagnostics).
    const std::vector<std::unique_ptr<TreeViewItem>>& Records() const { return m_records; }
    QTreeWidgetItem* DropHighlight() const { return m_dropHighlight; }

    // Observer worker: a card's device folder changed (its folders are synchronised) or went (rescan).
    void OnFolderChanged(const std::string& path) override;
    void OnFolderWatchEnded(const std::string& path) override;

signals:
    // A card scan landed and the tree shows what it found.
    void CardsScanned();
    // A folder node was selected: the list and the address bar show it.
    void FolderSelected(const std::string& folder);
    // A card node was selected: the list shows nothing, the address bar the card.
    void CardSelected(const std::string& root);
    // A card went (root) or a folder did: what showed prefix or a folder under it shows nothing now.
    void CardGone(const std::string& root);
    void FoldersGone(const std::string& prefix);
    // The selected card's free space; RemainingSpaceCleared when nothing is selected.
    void RemainingSpaceChanged(uint64_t freeBytes);
    void RemainingSpaceCleared();
    // Desktop files were dropped on folder.
    void ImportRequested(const std::string& folder, const std::vector<std::string>& files);
    // folder's files may differ from what was listed (a folder that came, a duplication into it):
    // whatever lists it reads it again.
    void FolderContentsChanged(const std::string& folder);
    // A transfer brought all of its count files in.
    void TransferDone(int count, bool duplicated);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override; // Shift+F10 opens the context menu
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // A card as the scan found it, with its name (its volume label, read with the scan).
    struct ScannedCard {
        CardInfo card;
        QString name;
    };
    // What a read hands back to the UI thread (empty: nothing to do), and the read itself (pool thread).
    using Landing = std::function<void()>;
    using Read = std::function<Landing()>;
    // Runs the read that make gives on the pool, and its landing on the UI thread. One read per key at a
    // time: asked again meanwhile, the running one's result is dropped on arrival (the change may have
    // come after it read) and make is asked for a fresh read. A hung card so holds one thread per key,
    // however often it is asked.
    void ReadOffUi(const std::string& key, std::function<Read()> make);
    void ScanCards(bool tellFailure);
    // Makes the tree that of cards: removes the cards that went, adds the new, syncs the others' folders.
    void ApplyScan(const std::vector<ScannedCard>& cards);
    void AddCard(size_t index, const ScannedCard& scanned);
    void AddFolderRecord(TreeViewItem& deviceRecord, const std::string& folder);
    // Makes the device record's folders those of folders: adds the missing, removes those that went.
    void SyncFolders(TreeViewItem& deviceRecord, const std::vector<std::string>& folders);
    void SyncDeviceFolder(const std::string& deviceFolder);
    // Removes record's node and the record (a card's or a folder's).
    void RemoveRecord(std::vector<std::unique_ptr<TreeViewItem>>& owner, size_t index);
    void QueueRescan();
    void OnSelectionChanged();
    TreeViewItem* SelectedRecord() const;
    static TreeViewItem* RecordOf(const QTreeWidgetItem* item);
    static TreeViewItem* Find(const std::vector<std::unique_ptr<TreeViewItem>>& records, const std::string& path);
    void SetDropHighlight(QTreeWidgetItem* item);

    QList<QAction*> m_contextActions;
    FolderListing m_folderListing;
    std::string m_listedFolder;
    CFileObserver2* m_observer = nullptr;
    IFolderChangeListener* m_folderFiles = nullptr;
    CDuplicator* m_duplicator = nullptr; // card files dragged here from the file list are duplicated
    std::vector<std::unique_ptr<TreeViewItem>> m_records;
    QTreeWidgetItem* m_dropHighlight = nullptr;
    std::unique_ptr<CMountWatcher> m_mountWatcher;
    std::atomic<bool> m_rescanQueued{false}; // a burst of mount changes costs one rescan
    struct ReadState {
        bool running = false;
        bool again = false;
        std::function<Read()> make;
    };
    std::map<std::string, ReadState> m_reads; // by key: the scan, the free space, each device folder
    QThreadPool* m_pool; // owned; left behind at the end while a hung card holds one of its threads
};

} // namespace tq9
