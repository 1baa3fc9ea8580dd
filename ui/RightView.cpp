#include "ui/RightView.h"

#include <QTimer>

#include "card/CardFolder.h"
#include "card/CardScan.h"
#include "ui/SelfDDIndicator.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "jobs/ShellFileCalls.h"
#include "ui/DragOut.h"
#include "ui/DropImport.h"
#include "res/MessageCatalogue.h"
#include "ui/FileListModel.h"
#include "ui/ContextMenu.h"
#include "ui/FileOrder.h"
#include "ui/MessageBox.h"
#include "ui/OpenFile.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QStyle>
#include <QToolTip>

#include <algorithm>
#include <set>
#include <utility>

namespace tq9 {

CRightView::CRightView(QWidget* parent)
    : QTreeView(parent)
{
    m_model = new CFileListModel(this);
    setModel(m_model);
    setAccessibleName(tr("Files"));
    setAccessibleDescription(tr("The media files of the selected card folder: name, duration, size and date. "
                                "Enter opens a file; the Menu key shows its commands."));
    // The texts come after the names: the columns fit them once they are there.
    connect(m_model, &CFileListModel::TextsReady, this, [this] { FitColumns(); });
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Sorted by name at first; a header click sorts by that column (see SortBy).
    m_model->SetSortHandler([this](int column, Qt::SortOrder order) { SortBy(column, order); });
    header()->setSortIndicator(CFileListModel::ColName, Qt::AscendingOrder);
    setSortingEnabled(true);
    setIconSize(QSize(32, 32));
    // A long name keeps its start and its extension; the tool tip holds all of it (viewportEvent).
    setTextElideMode(Qt::ElideMiddle);
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    for (int column = 0; column < 4; ++column) {
        header()->setSectionResizeMode(column, QHeaderView::Interactive);
        setColumnWidth(column, kColumnWidths[column]);
    }
    // The name takes whatever width the other columns leave, a maximised window's included.
    header()->setSectionResizeMode(CFileListModel::ColName, QHeaderView::Stretch);
    connect(header(), &QHeaderView::sectionResized, this, [this](int column) {
        if (!m_fittingColumns && column != CFileListModel::ColName)
            m_columnsByHand = true;
    });
    FitColumns();
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) { OpenRow(index.row()); });
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragDropMode(QAbstractItemView::DragDrop);
    setEnabled(false);
    m_sweepCopies.setInterval(10000);
    connect(&m_sweepCopies, &QTimer::timeout, this, [this] {
        if (CDragOutSource::RemoveLeftovers() == 0)
            m_sweepCopies.stop();
    });
}

CRightView::~CRightView()
{
    m_reportsStopped = true;
    // The program is done with the copies of its drags.
    m_dragOut.reset();
    CDragOutSource::RemoveLeftovers();
}

void CRightView::SetLinks(CImporter* importer, CExporter* exporter)
{
    m_exporter = exporter;
    m_importer = importer;
}

std::optional<std::string> CRightView::PathOfRow(int row) const
{
    return m_model->PathOfRow(row);
}

void CRightView::ShowFolder(const std::string& folder)
{
    if (m_observer && m_observer->AddFolder(CFileObserver2::WatchSet::SubFolderObservers, folder, this))
        m_observer->Wake();
    m_currentFolder = folder;
    emit FolderListed(folder);
    m_afterLanding = nullptr;
    m_model->ClearIcons();
    m_model->Clear();
    Relist();
    setEnabled(true);
    FitColumns();
}

void CRightView::SetColumnsSizedByHand(bool byHand)
{
    m_columnsByHand = byHand;
    FitColumns();
}

void CRightView::FitColumns()
{
    if (m_columnsByHand)
        return;
    // The widest text a column can hold here, so an empty or short folder does not narrow it; a longer
    // text in the rows (a size of many megabytes) widens it.
    static const QString kWidest[] = {QString(), QStringLiteral("00:00:00"), QStringLiteral("00.0 MB"),
                                      QStringLiteral("0000/00/00 00:00:00")};
    const int cellMargins = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + 4;
    const int headerMargin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header());
    m_fittingColumns = true;
    for (int column : {CFileListModel::ColDuration, CFileListModel::ColSize, CFileListModel::ColDate}) {
        // Room for the sort arrow only where it is shown (Qt's own fitting keeps it in every column,
        // which takes from the name what a 600-pixel window cannot spare).
        const QString title = m_model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        int width = header()->fontMetrics().horizontalAdvance(title) + 2 * headerMargin;
        if (header()->sortIndicatorSection() == column)
            width += headerMargin + style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, header());
        width = std::max({width, fontMetrics().horizontalAdvance(kWidest[column]) + cellMargins,
                          sizeHintForColumn(column)});
        setColumnWidth(column, width);
        // A narrow list scrolls rather than squeeze the name below the narrowest of the others.
        if (column == CFileListModel::ColDuration)
            header()->setMinimumSectionSize(width);
    }
    m_fittingColumns = false;
}

bool CRightView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = indexAt(help->pos());
        if (index.isValid() && index.column() == CFileListModel::ColName) {
            QToolTip::showText(help->globalPos(), index.data(Qt::DisplayRole).toString(), viewport(),
                               visualRect(index));
            return true;
        }
    }
    return QTreeView::viewportEvent(event);
}

void CRightView::Clear()
{
    m_currentFolder.clear();
    emit FolderListed(m_currentFolder);
    m_afterLanding = nullptr;
    m_model->ClearIcons();
    m_model->Clear();
    setEnabled(false);
}

void CRightView::ForgetFolder(const std::string& folder)
{
    if (!m_currentFolder.empty() && (m_currentFolder == folder || m_currentFolder.rfind(folder + "/", 0) == 0))
        Clear();
}

std::optional<std::vector<std::string>> CRightView::ListFolder(const std::string& folder, int column, bool descending,
                                                               size_t& busy, const CFileListModel::Stop& stop)
{
    busy = 0;
    // A folder that resolves off the card (a link in the device folder) shows no rows: deleting one would
    // delete outside the card.
    std::optional<std::vector<std::string>> files = CCardScan::CardFolder(folder)
                                                        ? CCardFolder::ListMediaFiles(folder, &busy, stop)
                                                        : std::make_optional(std::vector<std::string>());
    if (!files) {
        // An unreadable folder keeps its rows; one that is gone has none left (its files went with it,
        // and stale rows would offer files that no longer exist).
        if (CFileAttributes::Exists(folder))
            return std::nullopt;
        files.emplace();
    }
    CFileOrder::Sort(*files, column, descending, stop);
    return files;
}

void CRightView::EnumerateFolder(const std::string& folder)
{
    if (folder.empty() || folder != m_currentFolder || m_reportsStopped)
        return;
    Relist();
}

void CRightView::Relist()
{
    m_model->List(
        [folder = m_currentFolder, column = m_sortColumn, descending = m_sortDescending](
            const CFileListModel::Stop& stop, size_t& busy) { return ListFolder(folder, column, descending, busy, stop); },
        [this](CFileListModel::Listing& listing) { Land(listing); });
}

void CRightView::SortBy(int column, Qt::SortOrder order)
{
    const bool descending = order == Qt::DescendingOrder;
    if (column == m_sortColumn && descending == m_sortDescending)
        return;
    m_sortColumn = column;
    m_sortDescending = descending;
    const std::string folder = CurrentFolder();
    if (folder.empty())
        return;
    EnumerateFolder(folder); // read in the new order; the selection follows its files to their new rows
}

void CRightView::OpenRow(int row)
{
    const std::optional<std::string> path = PathOfRow(row);
    if (!path)
        return;
    if (!COpenFile::Open(*path))
        CMessageBox::Show(this, FormatText(CMessageCatalogue::Get(IDS_OPEN_FILE_FAILED), *path));
}

void CRightView::keyPressEvent(QKeyEvent* event)
{
    if (CContextMenu::IsMenuKey(*event)) {
        CContextMenu::PopupFromKeyboard(*this, m_contextActions);
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentIndex().isValid()) {
        OpenRow(currentIndex().row());
        return;
    }
    QTreeView::keyPressEvent(event);
}

void CRightView::contextMenuEvent(QContextMenuEvent* event)
{
    if (isEnabled())
        CContextMenu::Popup(*this, m_contextActions, *event);
}

void CRightView::RecheckLater(const std::string& folder)
{
    constexpr int kRecheckMs = 1000;
    if (m_reportsStopped || !m_recheckPending.insert(folder).second)
        return;
    QTimer::singleShot(kRecheckMs, m_model, [this, folder] {
        m_recheckPending.erase(folder);
        if (m_reportsStopped)
            return;
        EnumerateFolder(folder); // asks for another look while a file is still being written
    });
}

void CRightView::Land(CFileListModel::Listing& listing)
{
    if (m_reportsStopped)
        return;
    if (listing.busy > 0)
        RecheckLater(m_currentFolder);
    const std::function<void()> after = std::exchange(m_afterLanding, nullptr);
    if (!listing.paths)
        return;
    // Files stay selected and current across a refresh (an import finishing, another program adding a
    // file) even when their rows move: both are carried over by path. The view stays where it was.
    std::set<std::string> selected;
    for (const QModelIndex& index : selectionModel()->selectedRows())
        if (const std::optional<std::string> path = PathOfRow(index.row()))
            selected.insert(*path);
    const std::optional<std::string> current = PathOfRow(currentIndex().row());
    const int scrolled = verticalScrollBar()->value();
    m_model->TakeRows(listing);
    QItemSelection selection;
    const std::vector<std::string>& rows = m_model->Paths();
    for (size_t row = 0; row < rows.size(); ++row) {
        const QModelIndex index = m_model->index(static_cast<int>(row), 0);
        if (selected.count(rows[row]))
            selection.select(index, index);
        if (current && rows[row] == *current)
            selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }
    selectionModel()->select(selection, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    verticalScrollBar()->setValue(scrolled);
    FitColumns();
    if (after)
        after();
}

void CRightView::OnFolderChanged(const std::string& folder)
{
    if (m_reportsStopped)
        return;
    // The folder is listed on the pool; this only asks the UI thread to start that, if the folder is
    // still the one shown. The view outlives the observer (StopObserverReports), so this is valid.
    QMetaObject::invokeMethod(this, [this, folder] { EnumerateFolder(folder); }, Qt::AutoConnection);
}

void CRightView::StopObserverReports(std::unique_ptr<CFileObserver2> observer)
{
    m_reportsStopped = true;
    observer.reset();
}

std::optional<std::vector<std::string>> CRightView::CachedCopy(const std::string& folder) const
{
    if (folder == m_currentFolder && !m_model->IsListing())
        return m_model->Paths();
    return OnDisk(folder);
}

std::optional<std::vector<std::string>> CRightView::OnDisk(const std::string& folder) const
{
    // Only a card folder holds files of the list (a card's own node has none to offer).
    if (!CCardScan::CardFolder(folder))
        return std::nullopt;
    size_t busy = 0;
    return ListFolder(folder, m_sortColumn, m_sortDescending, busy);
}

std::string CRightView::CurrentFolder() const
{
    return m_currentFolder;
}

int CRightView::RowCount() const
{
    return m_model->rowCount();
}

int CRightView::SelectedCount() const
{
    return selectionModel() ? static_cast<int>(selectionModel()->selectedRows().size()) : 0;
}

std::vector<std::string> CRightView::SelectedPaths() const
{
    QModelIndexList rows = selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<std::string> paths;
    for (const QModelIndex& index : rows)
        if (const std::optional<std::string> path = PathOfRow(index.row()))
            paths.push_back(*path);
    return paths;
}

JobOutcome CRightView::DeleteSelected(std::vector<std::string>& leftInPlace)
{
    const std::vector<std::string> paths = SelectedPaths();
    if (paths.empty())
        return {JobCause::Other, 0, "nothing selected", {}};
    clearSelection();
    JobOutcome outcome;
    try {
        outcome = CShellFileCalls::DeleteSelected(paths, &leftInPlace);
    } catch (const std::exception& e) {
        outcome = {JobCause::Other, 0, e.what(), {}};
    }
    EnumerateFolder(CurrentFolder());
    return outcome;
}

void CRightView::dragEnterEvent(QDragEnterEvent* event)
{
    if (CDropImport::Accepts(event->mimeData()) && !CurrentFolder().empty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void CRightView::dragMoveEvent(QDragMoveEvent* event)
{
    // Rows dragged out of the list and held over it again are not a drop on the shown folder.
    if (CDropImport::Accepts(event->mimeData()) && !CurrentFolder().empty() &&
        !CSelfDDIndicator::Instance().GetSelfDrag())
        event->acceptProposedAction();
    else
        event->ignore();
}

void CRightView::dropEvent(QDropEvent* event)
{
    CDropImport::BusyGuard busy;
    if (CSelfDDIndicator::Instance().GetSelfDrag()) {
        event->ignore();
        return;
    }
    const std::vector<std::string> files = CDropImport::DroppedFiles(event->mimeData());
    event->acceptProposedAction();
    ImportFiles(CurrentFolder(), files);
}

void CRightView::ImportFiles(const std::string& folder, const std::vector<std::string>& files)
{
    if (folder.empty() || files.empty())
        return;
    // As the disk has it now: the limit must not count on rows a listing has yet to bring.
    std::optional<std::vector<std::string>> before = OnDisk(folder);
    if (!before || CDropImport::ExceedsLimit(this, before->size(), files.size()))
        return;
    if (m_importer &&
        CDropImport::Import(this, *m_importer, folder, files, CFileSystem::FreeBytes(folder).value_or(0)) == 0)
        emit TransferDone(static_cast<int>(files.size()), false);
    // The list goes where the files went, with them selected once it has listed them.
    if (folder == CurrentFolder())
        EnumerateFolder(folder);
    else
        emit FolderWanted(folder);
    if (folder != CurrentFolder())
        return;
    m_afterLanding = [this, before = std::move(*before)] {
        std::vector<std::string> added;
        for (const std::string& path : m_model->Paths())
            if (std::find(before.begin(), before.end(), path) == before.end())
                added.push_back(path);
        if (!added.empty())
            SelectPaths(added);
    };
    emit CardSpaceChanged();
}

void CRightView::SelectPaths(const std::vector<std::string>& paths)
{
    QItemSelection selection;
    QModelIndex first;
    const std::vector<std::string>& shown = m_model->Paths();
    for (size_t row = 0; row < shown.size(); ++row) {
        if (std::find(paths.begin(), paths.end(), shown[row]) == paths.end())
            continue;
        const QModelIndex index = m_model->index(static_cast<int>(row), 0);
        selection.select(index, index);
        if (!first.isValid())
            first = index;
    }
    if (!first.isValid())
        return;
    selectionModel()->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(first);
}

void CRightView::mousePressEvent(QMouseEvent* event)
{
    // The drag belongs to the row the button went down on, wherever the pointer is when it starts.
    m_pressedRow = indexAt(event->position().toPoint());
    QTreeView::mousePressEvent(event);
}

void CRightView::startDrag(Qt::DropActions)
{
    // Only a press on a selected row starts a drag.
    const QModelIndex pressed = m_pressedRow;
    if (!pressed.isValid() || !selectionModel()->isRowSelected(pressed.row(), QModelIndex()))
        return;
    const std::vector<std::string> paths = SelectedPaths();
    if (paths.empty())
        return;
    const QIcon icon = m_model->data(m_model->index(pressed.row(), CFileListModel::ColName), Qt::DecorationRole)
                           .value<QIcon>();
    // The list's own drop handler refuses the drag while the self-drag flag is up (see dragMoveEvent).
    m_dragOut = std::make_unique<CDragOut>(this, m_exporter);
    m_dragOut->Exec(paths, icon);
    // The copies go once their target no longer uses them; look now and then until all have gone.
    m_sweepCopies.start();
}

} // namespace tq9
