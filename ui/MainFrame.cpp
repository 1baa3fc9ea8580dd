#include "ui/MainFrame.h"

#include <cerrno>

#include "card/CardEject.h"
#include "card/CardLayout.h"
#include "jobs/CardWriteCause.h"
#include "jobs/Duplicator.h"
#include "jobs/Exporter.h"
#include "jobs/Importer.h"
#include "observe/FileObserver2.h"
#include "res/ByteSize.h"
#include "res/MessageCatalogue.h"
#include "card/CardFolder.h"
#include "jobs/ExportToFolder.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "ui/AddressBar.h"
#include "ui/ConvProgressDlg.h"
#include "ui/DropImport.h"
#include "ui/FileChooser.h"
#include "ui/LeftView.h"
#include "ui/MessageBox.h"
#include "ui/OpenFile.h"
#include "ui/RightView.h"
#include "ui/ToolIcons.h"
#include "ui/WindowLayout.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include <filesystem>

namespace tq9 {

namespace {
QString text(int id)
{
    return QString::fromStdString(CMessageCatalogue::Get(id));
}
} // namespace

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent)
{
    setWindowTitle(QString::fromStdString(CMessageCatalogue::WindowTitle()));
    setWindowIcon(CToolIcons::AppIcon());
    resize(600, 400);
    CreateClientArea();
    CreateMenu();
    CreateBars();
    CreateContextMenus();
    m_rightView->SetColumnsSizedByHand(CWindowLayout::Restore(*this, *m_splitter, *m_rightView->header()));
    // The folder of the last run, when the first scan finds its card; the keyboard starts on its files.
    const std::string last = CWindowLayout::LastFolder();
    if (!last.empty())
        connect(m_leftView, &CLeftView::CardsScanned, this, [this, last] {
            if (m_leftView->SelectByPath(last))
                m_rightView->setFocus();
        }, Qt::SingleShotConnection);
    connect(m_leftView, &QTreeWidget::itemSelectionChanged, this, &CMainFrame::UpdateActions);
    connect(m_rightView->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        UpdateActions();
        ShowSelectionSummary();
    });
    connect(m_rightView->model(), &QAbstractItemModel::modelReset, this, [this] {
        UpdateActions();
        ShowSelectionSummary();
    });
    UpdateActions();
}

CMainFrame::~CMainFrame()
{
    // The observer goes first, while the list it reports to still exists; then the jobs.
    m_rightView->StopObserverReports(std::move(m_observer));
    m_importer.reset();
    m_duplicator.reset();
    m_exporter.reset();
}

void CMainFrame::CreateClientArea()
{
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_leftView = new CLeftView(m_splitter);
    m_rightView = new CRightView(m_splitter);
    m_splitter->addWidget(m_leftView);
    m_splitter->addWidget(m_rightView);
    setCentralWidget(m_splitter);

    try {
        m_observer = std::make_unique<CFileObserver2>();
    } catch (const std::exception&) {
        m_observer.reset(); // the list then only refreshes after its own drops and deletions
    }
    m_importer = std::make_unique<CImporter>();
    m_duplicator = std::make_unique<CDuplicator>();
    m_exporter = std::make_unique<CExporter>();

    // The address bar exists from here on so that the tree's first selection reaches it; it is placed
    // with the other bars below.
    m_addressBar = new CAddressBar(this);
    m_leftView->SetLinks(m_observer.get(), m_rightView, m_duplicator.get());
    m_rightView->SetLinks(m_importer.get(), m_exporter.get());
    m_rightView->SetObserver(m_observer.get());
    ConnectViews();
    m_leftView->Build();
}

void CMainFrame::ConnectViews()
{
    // The one place the widgets meet: each announces what happened, the others follow here.
    connect(m_leftView, &CLeftView::FolderSelected, this, [this](const std::string& folder) {
        m_addressBar->ShowFolder(folder);
        try {
            m_rightView->ShowFolder(folder);
        } catch (const std::exception&) {
            CMessageBox::ShowId(m_leftView, IDS_DISPLAY_FOLDER_FAILED);
        }
    });
    connect(m_leftView, &CLeftView::CardSelected, this, [this](const std::string& root) {
        m_rightView->Clear();
        m_addressBar->ShowFolder(root);
    });
    connect(m_leftView, &CLeftView::FoldersGone, m_rightView, &CRightView::ForgetFolder);
    connect(m_leftView, &CLeftView::CardGone, m_addressBar, &CAddressBar::Forget);
    connect(m_leftView, &CLeftView::RemainingSpaceChanged, this, &CMainFrame::SetRemainingSpace);
    connect(m_leftView, &CLeftView::RemainingSpaceCleared, this, &CMainFrame::ClearRemainingSpace);
    connect(m_leftView, &CLeftView::ImportRequested, m_rightView, &CRightView::ImportFiles);
    connect(m_leftView, &CLeftView::FolderContentsChanged, m_rightView, &CRightView::EnumerateFolder);
    connect(m_leftView, &CLeftView::TransferDone, this, &CMainFrame::ShowTransferDone);
    m_leftView->SetFolderListing([this](const std::string& folder) { return m_rightView->CachedCopy(folder); });
    connect(m_rightView, &CRightView::FolderListed, m_leftView, &CLeftView::SetListedFolder);
    connect(m_rightView, &CRightView::FolderWanted, m_leftView, &CLeftView::SelectByPath);
    connect(m_rightView, &CRightView::CardSpaceChanged, m_leftView, &CLeftView::ShowRemainingSpace);
    connect(m_rightView, &CRightView::TransferDone, this, &CMainFrame::ShowTransferDone);
    connect(m_addressBar, &CAddressBar::FolderChosen, m_leftView, &CLeftView::SelectByPath);
}

void CMainFrame::CreateMenu()
{
    // The two toolbar commands are in the File menu too, so that the keyboard reaches them.
    m_createFolderAction = new QAction(CToolIcons::CreateFolder(), tr("&New Folder"), this);
    m_createFolderAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    m_deleteFileAction = new QAction(CToolIcons::DeleteFile(), tr("&Delete"), this);
    m_deleteFileAction->setShortcut(QKeySequence::Delete);
    for (auto [action, prompt] : {std::pair{m_createFolderAction, IDS_PROMPT_CREATE_FOLDER},
                                  std::pair{m_deleteFileAction, IDS_PROMPT_DELETE_FILE}}) {
        action->setStatusTip(text(prompt));
        action->setToolTip(QStringLiteral("%1 (%2)").arg(text(prompt),
                                                         action->shortcut().toString(QKeySequence::NativeText)));
    }
    connect(m_createFolderAction, &QAction::triggered, this, &CMainFrame::CreateFolderCommand);
    connect(m_deleteFileAction, &QAction::triggered, this, &CMainFrame::DeleteFileCommand);
    m_refreshAction = new QAction(tr("&Refresh"), this);
    m_refreshAction->setShortcut(QKeySequence::Refresh);
    connect(m_refreshAction, &QAction::triggered, this, &CMainFrame::RefreshCommand);

    auto command = [this](const QString& title, QKeySequence key, void (CMainFrame::*slot)()) {
        auto* action = new QAction(title, this);
        if (!key.isEmpty())
            action->setShortcut(key);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    m_importAction = command(tr("&Import..."), QKeySequence(Qt::CTRL | Qt::Key_I), &CMainFrame::ImportCommand);
    m_exportAction = command(tr("&Export..."), QKeySequence(Qt::CTRL | Qt::Key_E), &CMainFrame::ExportCommand);
    m_duplicateAction = command(tr("D&uplicate to..."), {}, &CMainFrame::DuplicateCommand);
    m_openAction = command(tr("&Open"), {}, &CMainFrame::OpenCommand);
    m_showFilesAction = command(tr("Show in File &Manager"), {}, &CMainFrame::ShowFilesInFileManager);
    m_showFolderAction = command(tr("Show in File &Manager"), {}, &CMainFrame::ShowFolderInFileManager);
    m_ejectAction = command(tr("E&ject"), {}, &CMainFrame::EjectCommand);

    QMenu* file = menuBar()->addMenu(tr("&File"));
    file->addAction(m_importAction);
    file->addAction(m_exportAction);
    file->addSeparator();
    file->addAction(m_createFolderAction);
    file->addAction(m_deleteFileAction);
    file->addAction(m_refreshAction);
    file->addAction(m_ejectAction);
    file->addSeparator();
    m_setupAction = file->addAction(tr("&Setup"));
    file->addSeparator();
    QAction* quit = file->addAction(tr("&Quit"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, &QWidget::close);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    edit->addAction(m_duplicateAction);

    QMenu* help = menuBar()->addMenu(tr("&Help", "menu"));
    m_helpAction = help->addAction(tr("&Help"));
    m_helpAction->setShortcut(QKeySequence::HelpContents);
    help->addSeparator();
    m_infoAction = help->addAction(tr("&Info"));
}

void CMainFrame::CreateBars()
{
    // The bars stay where they are: no menu to hide them (it would name them by their internal names).
    setContextMenuPolicy(Qt::NoContextMenu);
    // The titles are what a screen reader calls the bars; the object names keep the saved layout's keys.
    m_toolBar = addToolBar(tr("Commands"));
    m_toolBar->setObjectName(QStringLiteral("toolbar"));
    m_toolBar->setIconSize(QSize(32, 32));
    m_toolBar->setFloatable(false);
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_toolBar->addAction(m_createFolderAction);
    m_toolBar->addAction(m_deleteFileAction);

    m_addressBand = addToolBar(tr("Address"));
    m_addressBand->setObjectName(QStringLiteral("address"));
    m_addressBand->setFloatable(false);
    m_addressBand->addWidget(m_addressBar);
    // The button a narrow bar shows for what does not fit has no text of its own.
    for (QToolBar* bar : {m_toolBar, m_addressBand})
        if (auto* more = bar->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
            more->setAccessibleName(tr("More"));

    m_messagePane = new QLabel(text(IDS_READY), this);
    m_remainingPane = new QLabel(this);
    m_remainingPane->setAccessibleDescription(tr("Free space on the card of the selected folder"));
    m_messagePane->setAccessibleDescription(tr("Status"));
    m_remainingPane->setFrameShape(QFrame::StyledPanel);
    m_remainingPane->setFrameShadow(QFrame::Sunken);
    statusBar()->addWidget(m_messagePane, 1);
    statusBar()->addPermanentWidget(m_remainingPane);
    ClearRemainingSpace(); // until a card is selected

    m_splitter->setCollapsible(0, true);
    m_leftView->setMinimumWidth(0);
    m_splitter->setSizes({200, std::max(0, width() - 200)});
    m_splitter->setStretchFactor(1, 1);
}

void CMainFrame::CreateContextMenus()
{
    auto separator = [this] {
        auto* action = new QAction(this);
        action->setSeparator(true);
        return action;
    };
    m_rightView->SetContextActions({m_openAction, separator(), m_exportAction, m_duplicateAction, separator(),
                                    m_deleteFileAction, separator(), m_showFilesAction});
    m_leftView->SetContextActions({m_importAction, m_createFolderAction, m_refreshAction, separator(),
                                   m_showFolderAction, separator(), m_ejectAction});
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    CWindowLayout::Save(*this, *m_splitter, *m_rightView->header(), m_rightView->ColumnsSizedByHand());
    CWindowLayout::SaveLastFolder(m_rightView->CurrentFolder());
    QMainWindow::closeEvent(event);
}

void CMainFrame::ShowTransferDone(int count, bool duplicated)
{
    if (duplicated)
        ShowDone(IDS_ONE_FILE_DUPLICATED, IDS_FILES_DUPLICATED, count);
    else
        ShowDone(IDS_ONE_FILE_IMPORTED, IDS_FILES_IMPORTED, count);
}

void CMainFrame::ShowDone(int oneId, int manyId, int count)
{
    const std::string text = FormatText(CMessageCatalogue::Get(count == 1 ? oneId : manyId), count);
    statusBar()->showMessage(QString::fromStdString(text), 10000);
}

std::string CMainFrame::SelectionSummary(int count, uint64_t bytes)
{
    const std::string format =
        FormatText(CMessageCatalogue::Get(count == 1 ? IDS_ONE_FILE_SELECTED : IDS_FILES_SELECTED), count);
    return FormatText(format, CByteSize::Text(bytes));
}

void CMainFrame::ShowSelectionSummary()
{
    const std::vector<std::string> selected = m_rightView->SelectedPaths();
    if (selected.empty()) {
        m_messagePane->setText(text(IDS_READY));
        return;
    }
    uint64_t bytes = 0;
    for (const std::string& path : selected)
        bytes += CFileSystem::FileSize(path).value_or(0);
    m_messagePane->setText(QString::fromStdString(SelectionSummary(static_cast<int>(selected.size()), bytes)));
}

void CMainFrame::UpdateActions()
{
    const bool folderShown = !m_rightView->CurrentFolder().empty();
    const bool rowsSelected = folderShown && m_rightView->SelectedCount() > 0;
    m_importAction->setEnabled(folderShown);
    m_createFolderAction->setEnabled(m_leftView->HasSelection());
    m_showFolderAction->setEnabled(m_leftView->HasSelection());
    m_ejectAction->setEnabled(m_leftView->HasSelection());
    for (QAction* action : {m_exportAction, m_duplicateAction, m_deleteFileAction, m_openAction, m_showFilesAction})
        action->setEnabled(rowsSelected);
}

void CMainFrame::ImportCommand()
{
    const std::string folder = m_rightView->CurrentFolder();
    if (folder.empty())
        return;
    const std::vector<std::string> files = CFileChooser::ImportFiles(this);
    if (files.empty())
        return;
    CDropImport::BusyGuard busy; // as a drop: no other drop is taken meanwhile
    m_rightView->ImportFiles(folder, files);
}

void CMainFrame::ExportCommand()
{
    const std::vector<std::string> selected = m_rightView->SelectedPaths();
    if (selected.empty() || !m_exporter)
        return;
    const std::optional<std::string> folder = CFileChooser::ExportFolder(this);
    if (!folder)
        return;
    CConvProgressDlg dialog(this);
    const CExportToFolder::Outcome outcome = CExportToFolder::Run(*m_exporter, dialog, selected, *folder);
    if (outcome.result == JOB_RESULT_CANCELED)
        return; // the dialog said so
    if (!outcome.placed.empty())
        ShowDone(IDS_ONE_FILE_EXPORTED, IDS_FILES_EXPORTED, static_cast<int>(outcome.placed.size()));
    if (outcome.result == JOB_RESULT_DONE)
        return;
    // One message names each file left out and why; the others are in the folder.
    std::string message = ExportFailureText(outcome.failed, static_cast<int>(selected.size()), !outcome.placed.empty());
    if (message.empty())
        message = FormatText(CMessageCatalogue::Get(IDS_EXPORT_FAILED), selected.front());
    CMessageBox::Show(this, message);
}

void CMainFrame::DuplicateCommand()
{
    const std::vector<std::string> selected = m_rightView->SelectedPaths();
    if (selected.empty() || !m_duplicator)
        return;
    CFileChooser::CardFolders offered;
    for (const CLeftView::CardFolders& card : m_leftView->AllFolders())
        offered.cards.push_back({card.name.toStdString(), card.folders});
    offered.excluded = m_rightView->CurrentFolder();
    const std::optional<std::string> target = CFileChooser::CardFolder(this, offered);
    if (!target || *target == offered.excluded)
        return;
    m_rightView->EnumerateFolder(*target);
    const std::optional<std::vector<std::string>> listed = m_rightView->CachedCopy(*target);
    if (!listed || CDropImport::ExceedsLimit(this, listed->size(), selected.size()))
        return;
    CDropImport::BusyGuard busy;
    if (CDropImport::Duplicate(this, *m_duplicator, *target, selected,
                               CFileSystem::FreeBytes(*target).value_or(0)) == 0)
        ShowTransferDone(static_cast<int>(selected.size()), true);
    m_rightView->EnumerateFolder(*target);
    m_leftView->ShowRemainingSpace();
}

void CMainFrame::OpenCommand()
{
    for (const std::string& path : m_rightView->SelectedPaths())
        if (!COpenFile::Open(path)) {
            CMessageBox::Show(this, FormatText(CMessageCatalogue::Get(IDS_OPEN_FILE_FAILED), path));
            return;
        }
}

void CMainFrame::ShowFilesInFileManager()
{
    const std::string folder = m_rightView->CurrentFolder();
    if (!folder.empty() && !COpenFile::Open(folder))
        CMessageBox::Show(this, FormatText(CMessageCatalogue::Get(IDS_OPEN_FILE_FAILED), folder));
}

void CMainFrame::ShowFolderInFileManager()
{
    const std::string folder = m_leftView->SelectedPath();
    if (!folder.empty() && !COpenFile::Open(folder))
        CMessageBox::Show(this, FormatText(CMessageCatalogue::Get(IDS_OPEN_FILE_FAILED), folder));
}

std::string CMainFrame::SelectedCardRoot() const
{
    const std::string selected = m_leftView->SelectedPath();
    for (const auto& card : m_leftView->Records())
        if (!selected.empty() && (selected == card->path || selected.rfind(card->path + "/", 0) == 0))
            return card->path;
    return {};
}

void CMainFrame::EjectCommand()
{
    const std::string root = SelectedCardRoot();
    if (root.empty())
        return;
    // The unmount writes out what the card's cache holds: it can take a moment.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const CCardEject::Result result = CCardEject::Eject(root);
    QApplication::restoreOverrideCursor();
    if (!result.ejected) {
        CMessageBox::Show(this, result.message);
        return;
    }
    RefreshCommand();
    statusBar()->showMessage(QString::fromStdString(result.message));
}

bool CMainFrame::OfferImport(const std::vector<std::string>& files)
{
    if (files.empty() || !m_importer)
        return false;
    std::string folder = m_rightView->CurrentFolder();
    for (size_t i = 0; folder.empty() && i < m_leftView->Records().size(); ++i) {
        const TreeViewItem& card = *m_leftView->Records()[i];
        if (!card.children.empty() && !card.children.front()->children.empty())
            folder = card.children.front()->children.front()->path;
    }
    if (folder.empty()) {
        CMessageBox::Show(this, tr("There is no card folder to import the files into. Put in a TQ-9 card, or "
                                   "create a folder on it, then drop the files on the folder.")
                                    .toStdString());
        return false;
    }
    m_leftView->SelectByPath(folder);
    const QString target = QString::fromStdString(folder);
    const QString question =
        files.size() == 1
            ? tr("Import %1 into %2?").arg(QString::fromStdString(std::filesystem::path(files.front()).filename().string()), target)
            : tr("Import %1 files into %2?").arg(files.size()).arg(target);
    if (CMessageBox::Show(this, question.toStdString(), {}, CMessageBox::Buttons::OkCancel) !=
        CMessageBox::Answer::Ok)
        return false;
    CDropImport::BusyGuard busy; // as a drop: no other drop is taken meanwhile
    m_rightView->ImportFiles(folder, files);
    return true;
}

void CMainFrame::RefreshCommand()
{
    // The folder is listed again once the scan has landed: by then a card that went shows nothing. Presses
    // while the scan reads (a slow card) come to one relisting.
    if (!m_refreshPending) {
        m_refreshPending = true;
        connect(m_leftView, &CLeftView::CardsScanned, this, [this] {
            m_refreshPending = false;
            const std::string folder = m_rightView->CurrentFolder();
            if (!folder.empty())
                m_rightView->ShowFolder(folder);
            m_leftView->ShowRemainingSpace();
        }, Qt::SingleShotConnection);
    }
    m_leftView->Rescan();
}

void CMainFrame::SetRemainingSpace(uint64_t freeBytes)
{
    m_remainingPane->setText(QString::fromStdString(CCardLayout::RemainingSpaceText(freeBytes)));
    m_remainingPane->show();
    m_remainingPane->repaint();
}

void CMainFrame::ClearRemainingSpace()
{
    m_remainingPane->clear();
    m_remainingPane->hide();
}

QString CMainFrame::RemainingSpacePaneText() const
{
    return m_remainingPane->text();
}

QString CMainFrame::MessagePaneText() const
{
    return m_messagePane->text();
}

void CMainFrame::CreateFolderCommand()
{
    if (!m_leftView->HasSelection()) {
        CMessageBox::ShowId(this, IDS_SELECT_FOLDER);
        return;
    }
    const JobOutcome made = m_leftView->CreateNumberedFolder();
    if (made.Failed()) {
        const std::string text = CCardWriteCause::OperationFailureText(IDS_MAKE_FOLDER_FAILED, made);
        CMessageBox::Show(this, text.substr(0, text.size() - 1));
    }
}

void CMainFrame::DeleteFileCommand()
{
    if (m_rightView->SelectedCount() == 0) {
        CMessageBox::ShowId(this, IDS_SELECT_DELETE_FILE);
        return;
    }
    // The question names what goes: the file, or how many files.
    const std::vector<std::string> selected = m_rightView->SelectedPaths();
    const std::string question =
        selected.size() == 1
            ? FormatText(CMessageCatalogue::Get(IDS_DELETE_ONE_CONFIRM), CCardFolder::NameText(selected.front()))
            : FormatText(CMessageCatalogue::Get(IDS_DELETE_MANY_CONFIRM), static_cast<int>(selected.size()));
    if (CMessageBox::Show(this, question, {}, CMessageBox::Buttons::OkCancel) != CMessageBox::Answer::Ok)
        return;
    std::vector<std::string> leftInPlace;
    const JobOutcome deleted = m_rightView->DeleteSelected(leftInPlace);
    m_leftView->ShowRemainingSpace();
    if (deleted.Failed()) {
        const std::string text = CCardWriteCause::OperationFailureText(IDS_DELETE_FAILED, deleted);
        CMessageBox::Show(this, text.substr(0, text.size() - 1));
        return;
    }
    ShowDone(IDS_ONE_FILE_DELETED, IDS_FILES_DELETED, static_cast<int>(selected.size()));
    // A sidecar name that a folder (or a link) holds is no part of the item: it stays, and the user is told.
    std::string stayed;
    for (const std::string& path : leftInPlace) {
        const int id = CFileAttributes::KindOf(path) == EntryKind::Directory ? IDS_SIDECAR_FOLDER_LEFT
                                                                             : IDS_SIDECAR_ENTRY_LEFT;
        stayed += FormatText(CMessageCatalogue::Get(id), CCardFolder::NameText(path)) + "\n";
    }
    if (!stayed.empty())
        CMessageBox::Show(this, stayed);
}

} // namespace tq9
