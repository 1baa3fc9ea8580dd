// The program's one top-level window: the folder tree and the file list in a splitter, the two-button
// toolbar with the address bar beside it, and a status bar with the card's remaining space. It owns the
// folder observer and the jobs, wires them to the views, and runs the two toolbar commands.
//
// UI thread only. Teardown order matters: the observer goes first, while the views it reports to are
// still alive (see CRightView::StopObserverReports), then the jobs; the views die with the widgets.
#pragma once

#include <QMainWindow>

#include <cstdint>
#include <memory>

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

    // Status pane 1: string 135 with the grouped byte count.
    void SetRemainingSpace(uint64_t freeBytes);

    // Toolbar commands 132 and 133 (also reachable from tests).
    void CreateFolderCommand();
    void DeleteFileCommand();
    // F5: looks for cards again and reads the shown folder again.
    void RefreshCommand();
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

protected:
    void closeEvent(QCloseEvent* event) override; // remembers the window's layout

private:
    void CreateClientArea();
    void CreateMenu();
    void CreateBars();

    QSplitter* m_splitter = nullptr;
    CLeftView* m_leftView = nullptr;
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
};

} // namespace tq9
