#include "ui/MainFrame.h"

#include "card/CardLayout.h"
#include "jobs/Duplicator.h"
#include "jobs/Exporter.h"
#include "jobs/Importer.h"
#include "observe/FileObserver2.h"
#include "res/MessageCatalogue.h"
#include "ui/AddressBar.h"
#include "ui/LeftView.h"
#include "ui/MessageBox.h"
#include "ui/RightView.h"
#include "ui/ToolIcons.h"
#include "ui/WindowLayout.h"
#include "card/CardFolder.h"

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
    m_rightView->SetColumnsSizedByHand(CWindowLayout::Restore(*this, *m_splitter, *m_rightView->header()));
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

    // The address bar exists from here on so that the tree can be linked to it; it is placed with the
    // other bars below.
    m_addressBar = new CAddressBar(this);
    m_leftView->SetLinks(this, m_rightView, m_addressBar, m_observer.get(), m_importer.get(),
                         m_duplicator.get());
    m_rightView->SetLinks(m_leftView, m_importer.get(), m_exporter.get());
    m_rightView->SetObserver(m_observer.get());
    m_leftView->Build();
    m_addressBar->SetFolderTree(m_leftView);
}

void CMainFrame::CreateMenu()
{
    // The two toolbar commands are in the File menu too, so that the keyboard reaches them.
    m_createFolderAction = new QAction(CToolIcons::CreateFolder(), tr("New Folder"), this);
    m_createFolderAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    m_deleteFileAction = new QAction(CToolIcons::DeleteFile(), tr("Delete"), this);
    m_deleteFileAction->setShortcut(QKeySequence::Delete);
    for (auto [action, prompt] : {std::pair{m_createFolderAction, IDS_PROMPT_CREATE_FOLDER},
                                  std::pair{m_deleteFileAction, IDS_PROMPT_DELETE_FILE}}) {
        action->setStatusTip(text(prompt));
        action->setToolTip(QStringLiteral("%1 (%2)").arg(text(prompt),
                                                         action->shortcut().toString(QKeySequence::NativeText)));
    }
    connect(m_createFolderAction, &QAction::triggered, this, &CMainFrame::CreateFolderCommand);
    connect(m_deleteFileAction, &QAction::triggered, this, &CMainFrame::DeleteFileCommand);
    m_refreshAction = new QAction(tr("Refresh"), this);
    m_refreshAction->setShortcut(QKeySequence::Refresh);
    connect(m_refreshAction, &QAction::triggered, this, &CMainFrame::RefreshCommand);

    QMenu* file = menuBar()->addMenu(tr("File(&F)"));
    file->addAction(m_createFolderAction);
    file->addAction(m_deleteFileAction);
    file->addAction(m_refreshAction);
    file->addSeparator();
    m_setupAction = file->addAction(tr("Setup"));
    file->addSeparator();
    QAction* quit = file->addAction(tr("Quit"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, &QWidget::close);

    QMenu* help = menuBar()->addMenu(tr("Help(&H)"));
    m_helpAction = help->addAction(tr("Help"));
    m_helpAction->setShortcut(QKeySequence::HelpContents);
    help->addSeparator();
    m_infoAction = help->addAction(tr("Info"));
}

void CMainFrame::CreateBars()
{
    m_toolBar = addToolBar(QStringLiteral("toolbar"));
    m_toolBar->setObjectName(QStringLiteral("toolbar"));
    m_toolBar->setIconSize(QSize(32, 32));
    m_toolBar->setFloatable(false);
    m_toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_toolBar->addAction(m_createFolderAction);
    m_toolBar->addAction(m_deleteFileAction);

    m_addressBand = addToolBar(QStringLiteral("address"));
    m_addressBand->setObjectName(QStringLiteral("address"));
    m_addressBand->setFloatable(false);
    m_addressBand->addWidget(m_addressBar);

    m_messagePane = new QLabel(text(IDS_READY), this);
    m_remainingPane = new QLabel(text(IDS_REMAINING_SPACE_ZERO), this);
    m_remainingPane->setFrameShape(QFrame::StyledPanel);
    m_remainingPane->setFrameShadow(QFrame::Sunken);
    statusBar()->addWidget(m_messagePane, 1);
    statusBar()->addPermanentWidget(m_remainingPane);

    m_splitter->setCollapsible(0, true);
    m_leftView->setMinimumWidth(0);
    m_splitter->setSizes({200, std::max(0, width() - 200)});
    m_splitter->setStretchFactor(1, 1);
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    CWindowLayout::Save(*this, *m_splitter, *m_rightView->header(), m_rightView->ColumnsSizedByHand());
    QMainWindow::closeEvent(event);
}

void CMainFrame::ShowTransferDone(int count, bool duplicated)
{
    const int id = duplicated ? (count == 1 ? IDS_ONE_FILE_DUPLICATED : IDS_FILES_DUPLICATED)
                              : (count == 1 ? IDS_ONE_FILE_IMPORTED : IDS_FILES_IMPORTED);
    statusBar()->showMessage(QString::fromStdString(FormatText(CMessageCatalogue::Get(id), count)), 10000);
}

void CMainFrame::RefreshCommand()
{
    m_leftView->Rescan();
    const std::string folder = m_rightView->CurrentFolder();
    if (!folder.empty())
        m_rightView->ShowFolder(folder);
    m_leftView->ShowRemainingSpace();
}

void CMainFrame::SetRemainingSpace(uint64_t freeBytes)
{
    m_remainingPane->setText(QString::fromStdString(CCardLayout::RemainingSpaceText(freeBytes)));
    m_remainingPane->repaint();
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
    if (!m_leftView->CreateNumberedFolder())
        CMessageBox::ShowId(this, IDS_MAKE_FOLDER_FAILED);
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
    const bool deleted = m_rightView->DeleteSelected();
    m_leftView->ShowRemainingSpace();
    if (!deleted)
        CMessageBox::ShowId(this, IDS_DELETE_FAILED);
}

} // namespace tq9
