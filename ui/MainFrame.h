// The program's one top-level window: the folder tree and the file list in a splitter, the two-button
// toolbar with the address bar beside it, and a status bar with the selection's summary and the card's
// remaining space. It owns the folder observer and the jobs, hands them to the views, is the one place the
// views are wired to one another (their signals, ConnectViews), and runs the commands of the menus, the
// toolbar and the context menus; those that cannot apply are disabled.
//
// UI thread only. Teardown order matters: the observer goes first, while the views it reports to are
// still alive (see CRightView::StopObserverReports), then the jobs; the views die with the widgets.
#pragma once

#include <QMainWindow>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QSplitter;
class QToolBar;

namespace tq9 {

class CAddressBar;
class CDuplicator;
class CExporter;
class CFileObserver2;
class CImporter;
class CLeftView;
class CRightView;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // Builds the views, the observer and the jobs, runs the card scan, then builds the bars.
    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Status pane 1: IDS_REMAINING_SPACE with the grouped byte count.
    void SetRemainingSpace(uint64_t freeBytes);
    // Status pane 1 empty: no card is selected, so there is no space to tell.
    void ClearRemainingSpace();

    // Toolbar commands 132 and 133 (also reachable from tests).
    void CreateFolderCommand();
    void DeleteFileCommand();
    // The commands that do without dragging: File > Import... into the shown folder, File > Export... and
    // Edit > Duplicate to... of the selected rows, each through its chooser; Open and Show in File
    // Manager of the context menus.
    void ImportCommand();
    void ExportCommand();
    void DuplicateCommand();
    void OpenCommand();
    void ShowFilesInFileManager();
    void ShowFolderInFileManager();
    // File > Eject and the tree's context menu: takes the selected card out through the desktop's disk
    // service; the tree then drops it and the status bar says it can be removed.
    void EjectCommand();
    // The root of the card the tree's selection is on; empty without one.
    std::string SelectedCardRoot() const;
    // Enables the commands that apply now (after any change of the tree's or the list's selection).
    void UpdateActions();
    // What the status bar says about the selected rows: "2 files, 3.9 MB".
    static std::string SelectionSummary(int count, uint64_t bytes);
    // F5: looks for cards again and reads the shown folder again.
    void RefreshCommand();
    // Files named on the command line (the desktop's "open with"): asks whether to import them into the
    // selected card folder, or the first folder of the first card when none is shown, and imports them.
    // False when nothing was imported: no card folder, or the question was answered Cancel.
    bool OfferImport(const std::vector<std::string>& files);
    // Says in the status bar how many files an import (or a duplication) brought in.
    void ShowTransferDone(int count, bool duplicated);

    CImporter* Importer() const { return m_importer.get(); }
    CDuplicator* Duplicator() const { return m_duplicator.get(); }
    CExporter* Exporter() const { return m_exporter.get(); }
    CLeftView* LeftView() const { return m_leftView; }
    CRightView* RightView() const { return m_rightView; }
    CAddressBar* AddressBar() const { return m_addressBar; }
    QSplitter* Splitter() const { return m_splitter; }
    QString RemainingSpacePaneText() const;
    QString MessagePaneText() const;

    // Menu entries whose work the application object does.
    QAction* SetupAction() const { return m_setupAction; }
    QAction* HelpAction() const { return m_helpAction; }
    QAction* InfoAction() const { return m_infoAction; }
    QAction* CreateFolderAction() const { return m_createFolderAction; }
    QAction* DeleteFileAction() const { return m_deleteFileAction; }
    QAction* ImportAction() const { return m_importAction; }
    QAction* ExportAction() const { return m_exportAction; }
    QAction* DuplicateAction() const { return m_duplicateAction; }
    QAction* OpenAction() const { return m_openAction; }
    QAction* RefreshAction() const { return m_refreshAction; }
    QAction* EjectAction() const { return m_ejectAction; }

protected:
    void closeEvent(QCloseEvent* event) override; // remembers the window's layout

private:
    void CreateClientArea();
    // Wires the tree, the list, the address bar and the status bar to one another.
    void ConnectViews();
    void CreateMenu();
    void CreateBars();
    void CreateContextMenus();
    void ShowSelectionSummary();
    void ShowDone(int oneId, int manyId, int count);

    QSplitter* m_splitter = nullptr;
    CLeftView* m_leftView = nullptr;
    bool m_refreshPending = false; // Refresh waits for the tree's scan to land
    CRightView* m_rightView = nullptr;
    std::unique_ptr<CFileObserver2> m_observer;
    std::unique_ptr<CImporter> m_importer;
    std::unique_ptr<CDuplicator> m_duplicator;
    std::unique_ptr<CExporter> m_exporter;
    QToolBar* m_toolBar = nullptr;
    QToolBar* m_addressBand = nullptr;
    CAddressBar* m_addressBar = nullptr;
    QLabel* m_messagePane = nullptr;
    QLabel* m_remainingPane = nullptr;
    QAction* m_setupAction = nullptr;
    QAction* m_helpAction = nullptr;
    QAction* m_infoAction = nullptr;
    QAction* m_createFolderAction = nullptr;
    QAction* m_deleteFileAction = nullptr;
    QAction* m_refreshAction = nullptr;
    QAction* m_importAction = nullptr;
    QAction* m_exportAction = nullptr;
    QAction* m_duplicateAction = nullptr;
    QAction* m_openAction = nullptr;
    QAction* m_showFilesAction = nullptr;
    QAction* m_showFolderAction = nullptr;
    QAction* m_ejectAction = nullptr;
};

} // namespace tq9
