// The file list: the media files of the card folder selected in the tree, one row per item, with name,
// duration, size and date held by the model. Showing a folder, sorting, a refresh after a command and the
// folder observer's reports all list the folder through the model, off this thread: the rows land in one
// step, the selection and the current file following their files. It takes drops of desktop files
// (imported into the shown folder), lets rows be dragged out (exported, or duplicated onto a tree folder)
// and deletes the selected items with their sidecars. What others must follow (the folder it shows, one it
// wants shown, a transfer done) it announces by signals that the frame wires.
//
// Threads: everything runs on the UI thread except OnFolderChanged, which the observer calls on its
// worker: it only asks the UI thread, through a queued call nothing waits for, to list the folder again.
// The import's limit check and CachedCopy of a folder not shown read the disk here (commands that need
// the answer at once).
#pragma once

#include "jobs/JobOutcome.h"
#include "observe/FileObserver2.h"
#include "ui/FileListModel.h"

#include <QList>
#include <QPersistentModelIndex>
#include <QTimer>
#include <QTreeView>

#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <optional>
#include <string>
#include <vector>

class QAction;

namespace tq9 {

class CDragOut;
class CExporter;
class CImporter;

class CRightView : public QTreeView, public IFolderChangeListener {
    Q_OBJECT
public:
    static constexpr int kColumnWidths[4] = {140, 80, 80, 80};

    explicit CRightView(QWidget* parent = nullptr);
    ~CRightView() override;

    // Links set by the frame; none is owned.
    void SetLinks(CImporter* importer, CExporter* exporter);
    // The commands of the rows' context menu (separators included), in menu order.
    void SetContextActions(QList<QAction*> actions) { m_contextActions = std::move(actions); }
    // The observer that showing a folder watches it with again (null: no watching).
    void SetObserver(CFileObserver2* observer) { m_observer = observer; }

    // Shows folder's files and enables the list. The folder is read again and watched again, so a folder
    // whose watch ended (its card was unmounted and mounted again) is current once more.
    void ShowFolder(const std::string& folder);
    // Shows nothing and disables the list.
    void Clear();
    // Clears the list when it shows folder or a folder under it (they went).
    void ForgetFolder(const std::string& folder);
    // Lists folder again, off the UI thread, when it is the one shown. An unreadable folder keeps its rows.
    void EnumerateFolder(const std::string& folder);
    // Observer worker: has the folder listed again if it is the one shown. Also what happens when the
    // folder's watch ends (deleted, moved away, unmounted): the listing empties its rows.
    void OnFolderChanged(const std::string& folder) override;

    // folder's listable files in the list's order: the rows when it is shown and listed, else as the disk
    // has them now; nullopt when it is no card folder or cannot be read.
    std::optional<std::vector<std::string>> CachedCopy(const std::string& folder) const;
    std::string CurrentFolder() const;
    int RowCount() const;
    int SelectedCount() const;
    // Full paths of the selected rows, top to bottom.
    std::vector<std::string> SelectedPaths() const;
    // Sorts the rows by column (a header click); the folder is read again in that order.
    void SortBy(int column, Qt::SortOrder order);
    // Opens a row's file with the desktop's default application; says so when that fails.
    void OpenRow(int row);
    // Imports files into folder behind the progress dialog, as a drop on it does (the folder's file limit
    // first), then shows folder (FolderWanted, when another is shown) with the files that came in selected
    // (once listed).
    void ImportFiles(const std::string& folder, const std::vector<std::string>& files);
    // Selects the rows of paths (those listed) and makes the first of them current and visible.
    void SelectPaths(const std::vector<std::string>& paths);
    // Deletes the selected items with their .thm and .mrk sidecars (for good, no trash). A failed outcome
    // when nothing was selected or a file could not be deleted (with the card's cause); the list is
    // refreshed in every other case. leftInPlace receives the sidecar names a folder or another non-file
    // holds, which stay.
    JobOutcome DeleteSelected(std::vector<std::string>& leftInPlace);

    // Stops the observer's reports and destroys the observer (joining its workers; none waits for this
    // thread). Called by the frame before anything else is torn down.
    void StopObserverReports(std::unique_ptr<CFileObserver2> observer);

    CFileListModel* Model() const { return m_model; }

    // Duration, size and date fit their texts each time rows are shown, and the name takes the rest,
    // until the user sizes a column by hand; from then on the widths are the user's.
    bool ColumnsSizedByHand() const { return m_columnsByHand; }
    void SetColumnsSizedByHand(bool byHand);

signals:
    // The folder shown from now on; empty when the list shows nothing.
    void FolderListed(const std::string& folder);
    // The list is to show folder: whoever selects folders selects it, and calls ShowFolder.
    void FolderWanted(const std::string& folder);
    // An import changed a card's free space.
    void CardSpaceChanged();
    // A transfer brought all of its count files in.
    void TransferDone(int count, bool duplicated);

protected:
    void keyPressEvent(QKeyEvent* event) override; // Enter opens the current file; Shift+F10 the menu
    bool viewportEvent(QEvent* event) override;    // a name's tool tip is the whole name
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;

private:
    std::optional<std::string> PathOfRow(int row) const;
    // folder's listable files in the given order, and how many are still being written (any thread).
    // nullopt when unreadable; empty for a folder that is gone or resolves off the card.
    static std::optional<std::vector<std::string>> ListFolder(const std::string& folder, int column, bool descending,
                                                              size_t& busy, const std::function<bool()>& stop = {});
    std::optional<std::vector<std::string>> OnDisk(const std::string& folder) const;
    // Has the shown folder listed in the list's order.
    void Relist();
    // A listing of the shown folder has been read: its rows replace the model's.
    void Land(CFileListModel::Listing& listing);
    void FitColumns();
    // Looks at folder again shortly (UI thread): files another program was still writing are listed once
    // they are closed, which no folder-change report announces.
    void RecheckLater(const std::string& folder);

    QList<QAction*> m_contextActions;
    CImporter* m_importer = nullptr;
    CExporter* m_exporter = nullptr;
    std::unique_ptr<CDragOut> m_dragOut; // the last drag
    QPersistentModelIndex m_pressedRow;  // where the button last went down
    QTimer m_sweepCopies;                // removes drags' copies no target uses any more
    CFileObserver2* m_observer = nullptr;
    CFileListModel* m_model = nullptr;

    std::string m_currentFolder;
    std::atomic<bool> m_reportsStopped{false}; // read by OnFolderChanged on the observer's thread
    int m_sortColumn = 0;
    bool m_sortDescending = false;
    std::function<void()> m_afterLanding; // run once the next listing lands (the import's selection)
    std::set<std::string> m_recheckPending;
    bool m_columnsByHand = false;
    bool m_fittingColumns = false;
};

} // namespace tq9
