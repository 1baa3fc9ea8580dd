#include "ui/LeftView.h"

#include "card/CardScan.h"
#include "card/UserException.h"
#include "jobs/SelfDDIndicator.h"
#include "observe/FileObserver2.h"
#include "platform/FileSystem.h"
#include "res/MessageCatalogue.h"
#include "ui/AddressBar.h"
#include "ui/DropImport.h"
#include "ui/MainFrame.h"
#include "ui/MessageBox.h"
#include "ui/RightView.h"
#include "ui/ShellIcons.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>

namespace tq9 {

namespace {
constexpr int kRecordRole = Qt::UserRole + 1;
}

CLeftView::CLeftView(QWidget* parent)
    : QTreeWidget(parent)
{
    setColumnCount(1);
    header()->hide();
    setSelectionMode(QAbstractItemView::SingleSelection);
    setRootIsDecorated(true);
    setDragEnabled(false); // nodes cannot be dragged out of the tree
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::NoContextMenu);
    connect(this, &QTreeWidget::itemSelectionChanged, this, &CLeftView::OnSelectionChanged);
}

CLeftView::~CLeftView() = default;

void CLeftView::SetLinks(CMainFrame* frame, CRightView* fileList, CAddressBar* addressBar,
                         CFileObserver2* observer, CImporter* importer, CDuplicator* duplicator)
{
    m_frame = frame;
    m_fileList = fileList;
    m_addressBar = addressBar;
    m_observer = observer;
    m_importer = importer;
    m_duplicator = duplicator;
}

void CLeftView::Build()
{
    try {
        for (const CardInfo& card : CCardScan::Scan())
            AddCard(card.root, card.deviceFolder, card.folders);
    } catch (const std::exception&) {
        CMessageBox::Show(this, CMessageCatalogue::Get(IDS_CARD_CHECK_FAILED),
                          CMessageCatalogue::Get(IDS_ERROR_CAPTION));
    }
    for (const auto& record : m_records)
        if (record->treeItem)
            record->treeItem->setExpanded(true);
}

void CLeftView::AddCard(const std::string& root, const std::string& deviceFolder,
                        const std::vector<std::string>& folders)
{
    auto card = std::make_unique<TreeViewItem>();
    card->path = root;
    card->displayName = CShellIcons::DisplayName(root);
    card->icon = CShellIcons::CardIcon();
    card->treeItem = new QTreeWidgetItem(this, QStringList(card->displayName));
    card->treeItem->setIcon(0, card->icon);
    card->treeItem->setToolTip(0, QString::fromStdString(root));
    card->treeItem->setData(0, kRecordRole, QVariant::fromValue(static_cast<void*>(card.get())));

    auto device = std::make_unique<TreeViewItem>();
    device->path = deviceFolder;
    device->displayName = CShellIcons::DisplayName(deviceFolder);
    TreeViewItem& deviceRecord = *device;
    card->children.push_back(std::move(device));
    deviceRecord.parent = card.get();
    m_records.push_back(std::move(card));

    for (const std::string& folder : folders)
        AddFolderRecord(deviceRecord, folder);
}

void CLeftView::AddFolderRecord(TreeViewItem& deviceRecord, const std::string& folder)
{
    auto record = std::make_unique<TreeViewItem>();
    record->path = folder;
    record->displayName = CShellIcons::DisplayName(folder);
    record->icon = CShellIcons::FolderIcon(folder);
    record->parent = &deviceRecord;
    // The node goes directly under the card's node: the device folder has none.
    QTreeWidgetItem* cardItem = deviceRecord.parent->treeItem;
    record->treeItem = new QTreeWidgetItem(cardItem, QStringList(record->displayName));
    record->treeItem->setIcon(0, record->icon);
    record->treeItem->setData(0, kRecordRole, QVariant::fromValue(static_cast<void*>(record.get())));
    deviceRecord.children.push_back(std::move(record));

    if (m_observer && m_observer->AddFolder(CFileObserver2::WatchSet::SubFolderObservers, folder, m_fileList))
        m_observer->Wake();
    if (m_fileList)
        m_fileList->EnumerateFolder(folder);
}

TreeViewItem* CLeftView::RecordOf(const QTreeWidgetItem* item)
{
    return item ? static_cast<TreeViewItem*>(item->data(0, kRecordRole).value<void*>()) : nullptr;
}

TreeViewItem* CLeftView::SelectedRecord() const
{
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? nullptr : RecordOf(selected.first());
}

std::string CLeftView::SelectedPath() const
{
    const TreeViewItem* record = SelectedRecord();
    return record ? record->path : std::string();
}

uint64_t CLeftView::RemainingSpace() const
{
    const std::string path = SelectedPath();
    if (path.empty())
        return 0;
    return CFileSystem::FreeBytes(path).value_or(0);
}

void CLeftView::ShowRemainingSpace()
{
    if (m_frame)
        m_frame->SetRemainingSpace(RemainingSpace());
}

bool CLeftView::CreateNumberedFolder()
{
    TreeViewItem* selected = SelectedRecord();
    if (!selected)
        return false;
    TreeViewItem* deviceRecord = nullptr;
    if (!selected->parent && !selected->children.empty())
        deviceRecord = selected->children.front().get(); // a card's node
    else if (selected->parent && selected->parent->parent && !selected->parent->parent->parent)
        deviceRecord = selected->parent; // a folder of a card
    if (!deviceRecord)
        return false;
    const std::optional<std::string> created = CCardScan::CreateNumberedFolder(deviceRecord->path);
    if (!created)
        return false;
    AddFolderRecord(*deviceRecord, *created);
    return true;
}

TreeViewItem* CLeftView::Find(const std::vector<std::unique_ptr<TreeViewItem>>& records, const std::string& path)
{
    for (const auto& record : records) {
        if (record->path == path)
            return record.get();
        if (TreeViewItem* found = Find(record->children, path))
            return found;
    }
    return nullptr;
}

bool CLeftView::SelectByPath(const std::string& path)
{
    TreeViewItem* record = Find(m_records, path);
    if (!record || !record->treeItem)
        return false;
    setCurrentItem(record->treeItem);
    record->treeItem->setSelected(true);
    if (record->parent) {
        if (m_fileList)
            m_fileList->ShowFolder(record->path);
        if (m_addressBar)
            m_addressBar->ShowFolder(record->path);
    }
    ShowRemainingSpace();
    return true;
}

void CLeftView::OnSelectionChanged()
{
    TreeViewItem* record = SelectedRecord();
    if (!record)
        return;
    if (!record->parent) {
        if (m_fileList)
            m_fileList->Clear();
        if (m_addressBar)
            m_addressBar->ShowFolder(record->path);
        ShowRemainingSpace();
        return;
    }
    if (m_addressBar)
        m_addressBar->ShowFolder(record->path);
    ShowRemainingSpace();
    try {
        if (m_fileList)
            m_fileList->ShowFolder(record->path);
    } catch (const std::exception&) {
        CMessageBox::ShowId(this, IDS_DISPLAY_FOLDER_FAILED);
    }
}

void CLeftView::SetDropHighlight(QTreeWidgetItem* item)
{
    if (m_dropHighlight == item)
        return;
    if (m_dropHighlight) {
        m_dropHighlight->setBackground(0, QBrush());
        m_dropHighlight->setForeground(0, QBrush());
    }
    m_dropHighlight = item;
    if (m_dropHighlight) {
        m_dropHighlight->setBackground(0, palette().brush(QPalette::Highlight));
        m_dropHighlight->setForeground(0, palette().brush(QPalette::HighlightedText));
    }
}

void CLeftView::dragEnterEvent(QDragEnterEvent* event)
{
    if (CDropImport::Accepts(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void CLeftView::dragMoveEvent(QDragMoveEvent* event)
{
    if (!event->mimeData() || !event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    QTreeWidgetItem* item = itemAt(event->position().toPoint());
    const TreeViewItem* record = RecordOf(item);
    if (!record || (m_fileList && record->path == m_fileList->CurrentFolder())) {
        SetDropHighlight(nullptr);
        event->ignore();
        return;
    }
    if (item->childCount() > 0) {
        SetDropHighlight(nullptr);
        item->setExpanded(true);
        event->ignore();
        return;
    }
    SetDropHighlight(item);
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void CLeftView::dragLeaveEvent(QDragLeaveEvent* event)
{
    SetDropHighlight(nullptr);
    event->accept();
}

void CLeftView::dropEvent(QDropEvent* event)
{
    CDropImport::BusyGuard busy;
    const QMimeData* data = event->mimeData();
    if (!data || !data->hasUrls() || !m_dropHighlight) {
        event->ignore();
        return;
    }
    SetDropHighlight(nullptr);
    const TreeViewItem* record = RecordOf(itemAt(event->position().toPoint()));
    if (!record) {
        event->ignore();
        return;
    }
    const std::string target = record->path;
    if (m_fileList && target == m_fileList->CurrentFolder()) {
        CMessageBox::Show(this, "Cannot Drop To Same Folder.");
        event->ignore();
        return;
    }
    // The program's own drag names the card files themselves; its file list names the exported copies.
    const bool selfDrag = CSelfDDIndicator::Instance().GetSelfDrag() != 0;
    const std::vector<std::string> files =
        selfDrag ? CDropImport::DraggedCardFiles(data) : CDropImport::DroppedFiles(data);
    const std::optional<std::vector<std::string>> cached =
        m_fileList ? m_fileList->CachedCopy(target) : std::nullopt;
    if (!cached || CDropImport::ExceedsLimit(this, cached->size(), files.size())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (selfDrag) {
        if (m_duplicator)
            CDropImport::Duplicate(this, *m_duplicator, target, files, RemainingSpace());
    } else if (m_importer) {
        CDropImport::Import(this, *m_importer, target, files, RemainingSpace());
    }
    m_fileList->EnumerateFolder(target);
}

} // namespace tq9
