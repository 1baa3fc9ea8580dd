#include "ui/MainFrame.h"

#include "card/CardLayout.h"
#include "jobs/DragOutSource.h"
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

#include <QAction>
#include <QApplication>
#include <QEvent>
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
    // Copies handed out by drags of an earlier run that did not end normally.
    CDragOutSource::RemoveLeftovers();

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
    QMenu* file = menuBar()->addMenu(tr("File(&F)"));
    m_setupAction = file->addAction(tr("Setup"));
    file->addSeparator();
    QAction* quit = file->addAction(tr("Quit"));
    connect(quit, &QAction::triggered, this, &QWidget::close);

    QMenu* help = menuBar()->addMenu(tr("Help(&H)"));
    m_helpAction = help->addAction(tr("Help"));
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
    m_createFolderAction = m_toolBar->addAction(CToolIcons::CreateFolder(), text(IDS_PROMPT_CREATE_FOLDER));
    m_createFolderAction->setStatusTip(text(IDS_PROMPT_CREATE_FOLDER));
    m_deleteFileAction = m_toolBar->addAction(CToolIcons::DeleteFile(), text(IDS_PROMPT_DELETE_FILE));
    m_deleteFileAction->setStatusTip(text(IDS_PROMPT_DELETE_FILE));
    connect(m_createFolderAction, &QAction::triggered, this, &CMainFrame::CreateFolderCommand);
    connect(m_deleteFileAction, &QAction::triggered, this, &CMainFrame::DeleteFileCommand);
    // The toolbar shows no tooltips: its prompts go to the status bar.
    m_toolBar->installEventFilter(this);
    for (QWidget* button : m_toolBar->findChildren<QWidget*>())
        button->installEventFilter(this);

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

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ToolTip)
        return true;
    return QMainWindow::eventFilter(watched, event);
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
    if (CMessageBox::ShowId(this, IDS_DELETE_CONFIRM, CMessageBox::Buttons::OkCancel) != CMessageBox::Answer::Ok)
        return;
    const bool deleted = m_rightView->DeleteSelected();
    m_leftView->ShowRemainingSpace();
    if (!deleted)
        CMessageBox::ShowId(this, IDS_DELETE_FAILED);
}

} // namespace tq9
