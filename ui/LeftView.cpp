#include "ui/LeftView.h"

#include <cerrno>

#include "card/CardLayout.h"
#include "card/CardScan.h"
#include "jobs/CardWriteCause.h"
#include "card/UserException.h"
#include "ui/SelfDDIndicator.h"
#include "platform/DebugLog.h"
#include "platform/FileSystem.h"
#include "platform/CardRoots.h"
#include "platform/MountWatcher.h"
#include "res/MessageCatalogue.h"
#include "ui/ContextMenu.h"
#include "ui/DropImport.h"
#include "ui/MessageBox.h"
#include "card/NaturalOrder.h"
#include "ui/ShellIcons.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QStorageInfo>
#include <QThreadPool>

#include <algorithm>

namespace tq9 {

namespace {
constexpr int kRecordRole = Qt::UserRole + 1;

constexpr std::chrono::milliseconds kCardLookEvery(2000);
// How long closing the tree waits for a card read; a hung card's read is left behind.
constexpr int kReadsEndWithinMs = 500;

const std::string kCardsKey = ":cards";
const std::string kSpaceKey = ":space";

// The roots that are cards now, among those cheap to look at (two file attributes each).
std::vector<std::string> cardRoots()
{
    std::vector<std::string> cards;
    for (const std::string& root : CCardRoots::Watchable())
        if (CCardLayout::IsCard(root))
            cards.push_back(root);
    return cards;
}

// A card is named by its volume label, as the desktop names drives; a volume without one, or a folder given
// with --card-root, by its folder's name. Any thread (it asks the card's volume).
QString CardName(const std::string& root)
{
    const QString path = QString::fromStdString(root);
    const QStorageInfo volume(path);
    if (volume.isValid() && volume.rootPath() == path && !volume.name().isEmpty())
        return volume.name();
    return CShellIcons::DisplayName(root);
}

void Log(const std::string& what, const std::string& path)
{
    if (CDebugLog::Enabled())
        CDebugLog::Write("CLeftView: " + what + " " + path);
}
} // namespace

CLeftView::CLeftView(QWidget* parent)
    : QTreeWidget(parent)
    , m_pool(new QThreadPool)
{
    m_pool->setMaxThreadCount(2); // a hung card's read leaves the other cards one thread
    setColumnCount(1);
    // Hidden, yet a screen reader reads the column's title: it must say what the column is, not "1".
    setHeaderLabels({tr("Cards and folders")});
    header()->hide();
    setAccessibleName(tr("Cards and folders"));
    setAccessibleDescription(tr("The TQ-9 cards and their numbered folders. Select a folder to list its "
                                "files; drop files on a folder to import them."));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setRootIsDecorated(true);
    setDragEnabled(false); // nodes cannot be dragged out of the tree
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(this, &QTreeWidget::itemSelectionChanged, this, &CLeftView::OnSelectionChanged);
}

CLeftView::~CLeftView()
{
    m_mountWatcher.reset(); // its thread queues calls to this view: it ends before the view does
    m_pool->clear();
    if (m_pool->waitForDone(kReadsEndWithinMs))
        delete m_pool;
    // Otherwise a read waits on a hung card: its pool stays; what it reads lands nowhere.
}

void CLeftView::SetLinks(CFileObserver2* observer, IFolderChangeListener* folderFiles, CDuplicator* duplicator)
{
    m_observer = observer;
    m_folderFiles = folderFiles;
    m_duplicator = duplicator;
}

void CLeftView::Build()
{
    ScanCards(true);
    if (!m_mountWatcher) {
        try {
            // No mount change announces a volume that becomes a card while mounted (formatted by the
            // device, or its folder copied there), nor one that stops being one: look every few seconds.
            m_mountWatcher = std::make_unique<CMountWatcher>(
                // Looked at on the watcher's thread, never the UI's; the first look rescans, as a card may
                // have come since the scan read.
                [this] { QueueRescan(); }, kCardLookEvery,
                [this, known = std::optional<std::vector<std::string>>()]() mutable {
                    std::vector<std::string> now = cardRoots();
                    if (now != known) {
                        known = std::move(now);
                        QueueRescan();
                    }
                });
        } catch (const std::exception&) {
            Log("cannot watch the mount table;", "cards are found at start-up only");
        }
    }
}

void CLeftView::QueueRescan()
{
    if (!m_rescanQueued.exchange(true))
        QMetaObject::invokeMethod(this, &CLeftView::Rescan, Qt::QueuedConnection);
}

void CLeftView::Rescan()
{
    m_rescanQueued = false;
    ScanCards(false);
}

bool CLeftView::Reading() const
{
    return std::any_of(m_reads.begin(), m_reads.end(), [](const auto& read) { return read.second.running; });
}

void CLeftView::ReadOffUi(const std::string& key, std::function<Read()> make)
{
    ReadState& state = m_reads[key];
    state.make = std::move(make);
    if (state.running) {
        state.again = true;
        return;
    }
    state.running = true;
    QPointer<CLeftView> self(this);
    m_pool->start([self, key, read = state.make()] {
        Landing landing = read();
        QMetaObject::invokeMethod(qApp, [self, key, landing = std::move(landing)] {
            if (!self)
                return;
            ReadState& state = self->m_reads[key];
            state.running = false;
            if (state.again) {
                state.again = false;
                self->ReadOffUi(key, state.make);
            } else if (landing) {
                landing();
            }
        }, Qt::QueuedConnection);
    });
}

void CLeftView::ScanCards(bool tellFailure)
{
    ReadOffUi(kCardsKey, [this, tellFailure]() -> Read {
        return [this, tellFailure]() -> Landing {
            std::vector<ScannedCard> cards;
            try {
                for (CardInfo& card : CCardScan::Scan()) {
                    QString name = CardName(card.root);
                    cards.push_back({std::move(card), std::move(name)});
                }
            } catch (const std::exception&) {
                // A card that cannot be read through right now; the next change looks again.
                if (!tellFailure)
                    return {};
                return [this] {
                    CMessageBox::Show(this, CMessageCatalogue::Get(IDS_CARD_CHECK_FAILED),
                                      CMessageCatalogue::Get(IDS_ERROR_CAPTION));
                };
            }
            return [this, cards = std::move(cards)] {
                ApplyScan(cards);
                emit CardsScanned();
            };
        };
    });
}

void CLeftView::ApplyScan(const std::vector<ScannedCard>& scanned)
{
    auto present = [&scanned](const std::string& root) {
        return std::any_of(scanned.begin(), scanned.end(),
                           [&root](const ScannedCard& s) { return s.card.root == root; });
    };
    for (size_t i = m_records.size(); i-- > 0;)
        if (!present(m_records[i]->path))
            RemoveRecord(m_records, i);
    // The scan's order is the tree's: a card that came goes where the scan found it.
    for (size_t index = 0; index < scanned.size(); ++index) {
        const CardInfo& card = scanned[index].card;
        auto found = std::find_if(m_records.begin(), m_records.end(),
                                  [&card](const auto& record) { return record->path == card.root; });
        if (found == m_records.end())
            AddCard(std::min(index, m_records.size()), scanned[index]);
        else if (!(*found)->children.empty())
            SyncFolders(*(*found)->children.front(), card.folders);
    }
    viewport()->update(); // the empty tree's hint comes or goes
}

void CLeftView::AddCard(size_t index, const ScannedCard& scanned)
{
    const std::string& root = scanned.card.root;
    const std::string& deviceFolder = scanned.card.deviceFolder;
    auto card = std::make_unique<TreeViewItem>();
    card->path = root;
    card->displayName = scanned.name;
    card->icon = CShellIcons::CardIcon();
    card->treeItem = new QTreeWidgetItem(QStringList(card->displayName));
    card->treeItem->setIcon(0, card->icon);
    card->treeItem->setToolTip(0, QString::fromStdString(root));
    card->treeItem->setData(0, kRecordRole, QVariant::fromValue(static_cast<void*>(card.get())));
    insertTopLevelItem(static_cast<int>(index), card->treeItem);

    auto device = std::make_unique<TreeViewItem>();
    device->path = deviceFolder;
    device->displayName = CShellIcons::DisplayName(deviceFolder);
    TreeViewItem& deviceRecord = *device;
    card->children.push_back(std::move(device));
    deviceRecord.parent = card.get();
    QTreeWidgetItem* cardItem = card->treeItem;
    m_records.insert(m_records.begin() + static_cast<std::ptrdiff_t>(index), std::move(card));
    Log("card added", root);

    // Folders that others make or remove on the card show up here.
    if (m_observer && m_observer->AddFolder(CFileObserver2::WatchSet::SubFolderObservers, deviceFolder, this))
        m_observer->Wake();
    for (const std::string& folder : scanned.card.folders)
        AddFolderRecord(deviceRecord, folder);
    cardItem->setExpanded(true);
}

void CLeftView::AddFolderRecord(TreeViewItem& deviceRecord, const std::string& folder)
{
    auto record = std::make_unique<TreeViewItem>();
    record->path = folder;
    record->displayName = CShellIcons::DisplayName(folder);
    record->icon = CShellIcons::FolderIcon();
    record->parent = &deviceRecord;
    // The node goes directly under the card's node (the device folder has none), in number order.
    auto& siblings = deviceRecord.children;
    const auto at = std::find_if(siblings.begin(), siblings.end(), [&record](const auto& sibling) {
        return CNaturalOrder::Less(record->displayName, sibling->displayName);
    });
    const int row = static_cast<int>(at - siblings.begin());
    record->treeItem = new QTreeWidgetItem(QStringList(record->displayName));
    record->treeItem->setIcon(0, record->icon);
    record->treeItem->setData(0, kRecordRole, QVariant::fromValue(static_cast<void*>(record.get())));
    deviceRecord.parent->treeItem->insertChild(row, record->treeItem);
    siblings.insert(at, std::move(record));
    Log("folder added", folder);

    if (m_observer && m_folderFiles &&
        m_observer->AddFolder(CFileObserver2::WatchSet::SubFolderObservers, folder, m_folderFiles))
        m_observer->Wake();
    emit FolderContentsChanged(folder);
}

void CLeftView::SyncFolders(TreeViewItem& deviceRecord, const std::vector<std::string>& folders)
{
    auto& children = deviceRecord.children;
    for (size_t i = children.size(); i-- > 0;)
        if (std::find(folders.begin(), folders.end(), children[i]->path) == folders.end())
            RemoveRecord(children, i);
    for (const std::string& folder : folders) {
        const bool known = std::any_of(children.begin(), children.end(),
                                       [&folder](const auto& child) { return child->path == folder; });
        if (!known)
            AddFolderRecord(deviceRecord, folder);
    }
}

void CLeftView::SyncDeviceFolder(const std::string& deviceFolder)
{
    ReadOffUi(deviceFolder, [this, deviceFolder]() -> Read {
        return [this, deviceFolder]() -> Landing {
            std::optional<std::vector<std::string>> folders;
            try {
                folders = CCardScan::ListFolders(deviceFolder);
            } catch (const std::exception&) {
                return {}; // read half-way: keep the nodes; the next change reads it again
            }
            return [this, deviceFolder, folders = std::move(folders)] {
                for (const auto& card : m_records) {
                    if (card->children.empty() || card->children.front()->path != deviceFolder)
                        continue;
                    if (folders)
                        SyncFolders(*card->children.front(), *folders);
                    else
                        QueueRescan(); // the device folder itself is gone
                    return;
                }
            };
        };
    });
}

void CLeftView::RemoveRecord(std::vector<std::unique_ptr<TreeViewItem>>& owner, size_t index)
{
    TreeViewItem& record = *owner[index];
    SetDropHighlight(nullptr);
    // Nothing may go on showing a folder of a card that was taken out or a folder that was removed.
    const bool card = !record.parent && !record.children.empty();
    emit FoldersGone(card ? record.children.front()->path : record.path);
    // The tree would move the selection to a neighbour the user did not choose.
    for (QTreeWidgetItem* item = currentItem(); item; item = item->parent()) {
        if (item == record.treeItem) {
            selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::Clear);
            break;
        }
    }
    if (card)
        emit CardGone(record.path);
    Log(record.parent ? "folder removed" : "card removed", record.path);
    delete record.treeItem; // its child nodes go with it; the records stay valid until erased below
    owner.erase(owner.begin() + static_cast<std::ptrdiff_t>(index));
    if (!SelectedRecord())
        emit RemainingSpaceCleared();
}

void CLeftView::OnFolderChanged(const std::string& path)
{
    QMetaObject::invokeMethod(this, [this, path] { SyncDeviceFolder(path); }, Qt::QueuedConnection);
}

void CLeftView::OnFolderWatchEnded(const std::string&)
{
    QueueRescan();
}

QString CLeftView::EmptyHint()
{
    return QString::fromStdString(CMessageCatalogue::Get(IDS_NO_CARD_HINT));
}

void CLeftView::paintEvent(QPaintEvent* event)
{
    QTreeWidget::paintEvent(event);
    if (topLevelItemCount() > 0)
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(viewport()->rect().adjusted(8, 8, -8, -8), Qt::AlignTop | Qt::AlignLeft | Qt::TextWordWrap,
                     EmptyHint());
}

void CLeftView::keyPressEvent(QKeyEvent* event)
{
    if (CContextMenu::IsMenuKey(*event)) {
        CContextMenu::PopupFromKeyboard(*this, m_contextActions);
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void CLeftView::contextMenuEvent(QContextMenuEvent* event)
{
    CContextMenu::Popup(*this, m_contextActions, *event);
}

std::vector<CLeftView::CardFolders> CLeftView::AllFolders() const
{
    std::vector<CardFolders> cards;
    for (const auto& card : m_records) {
        CardFolders entry{card->displayName, {}};
        for (const auto& device : card->children)
            for (const auto& folder : device->children)
                entry.folders.push_back(folder->path);
        cards.push_back(std::move(entry));
    }
    return cards;
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
    // The path is taken when the read starts: one asked again meanwhile reads the selection of then.
    ReadOffUi(kSpaceKey, [this]() -> Read {
        return [this, path = SelectedPath()]() -> Landing {
            if (path.empty())
                return [this] { emit RemainingSpaceCleared(); };
            const uint64_t freeBytes = CFileSystem::FreeBytes(path).value_or(0);
            return [this, freeBytes] { emit RemainingSpaceChanged(freeBytes); };
        };
    });
}

JobOutcome CLeftView::CreateNumberedFolder()
{
    const JobOutcome noCard{JobCause::Other, 0, "no card folder selected", {}};
    TreeViewItem* selected = SelectedRecord();
    if (!selected)
        return noCard;
    TreeViewItem* deviceRecord = nullptr;
    if (!selected->parent && !selected->children.empty())
        deviceRecord = selected->children.front().get(); // a card's node
    else if (selected->parent && selected->parent->parent && !selected->parent->parent->parent)
        deviceRecord = selected->parent; // a folder of a card
    if (!deviceRecord)
        return noCard;
    errno = 0;
    const std::optional<std::string> created = CCardScan::CreateNumberedFolder(deviceRecord->path);
    if (!created)
        return CCardWriteCause::OfMakeFolder(errno, deviceRecord->path);
    AddFolderRecord(*deviceRecord, *created);
    SelectByPath(*created);
    return {};
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
    const bool wasSelected = SelectedRecord() == record;
    setCurrentItem(record->treeItem);
    record->treeItem->setSelected(true);
    // A node this call selected was shown by OnSelectionChanged already; one selected before is shown again.
    if (!wasSelected && SelectedRecord() == record)
        return true;
    if (record->parent)
        emit FolderSelected(record->path);
    ShowRemainingSpace();
    return true;
}

void CLeftView::OnSelectionChanged()
{
    TreeViewItem* record = SelectedRecord();
    if (!record)
        return; // the selected node went with its card or folder: RemoveRecord cleared the list
    if (record->parent)
        emit FolderSelected(record->path);
    else
        emit CardSelected(record->path);
    ShowRemainingSpace();
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
    if (!record || record->path == m_listedFolder) {
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
    if (target == m_listedFolder) {
        CMessageBox::Show(this, "Cannot Drop To Same Folder.");
        event->ignore();
        return;
    }
    // The program's own drag names the card files themselves; its file list names the exported copies.
    const bool selfDrag = CSelfDDIndicator::Instance().GetSelfDrag() != 0;
    const std::vector<std::string> files =
        selfDrag ? CDropImport::DraggedCardFiles(data) : CDropImport::DroppedFiles(data);
    const std::optional<std::vector<std::string>> cached =
        m_folderListing ? m_folderListing(target) : std::nullopt;
    if (!cached || CDropImport::ExceedsLimit(this, cached->size(), files.size())) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (!selfDrag) {
        emit ImportRequested(target, files);
        return;
    }
    if (m_duplicator && CDropImport::Duplicate(this, *m_duplicator, target, files, RemainingSpace()) == 0)
        emit TransferDone(static_cast<int>(files.size()), true);
    emit FolderContentsChanged(target);
    ShowRemainingSpace();
}

} // namespace tq9
