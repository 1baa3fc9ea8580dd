#include "ui/FileListModel.h"

#include "card/CardFolder.h"
#include "card/TQ9SystemFile.h"
#include "ui/ShellIcons.h"
#include "ui/ThumbnailLoader.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

#include <algorithm>
#include <exception>
#include <memory>
#include <unordered_map>

namespace tq9 {

namespace {

// Rows whose texts land with the listing: more than a screen, so the first screen fills in one step.
constexpr size_t kFirstBatch = 64;
constexpr size_t kBatch = 256;

} // namespace

CFileListModel::CFileListModel(QObject* parent)
    : QAbstractTableModel(parent)
    , m_thumbnails(new CThumbnailLoader(this))
{
    connect(m_thumbnails, &CThumbnailLoader::Ready, this, [this](const QString& path) {
        const std::string wanted = path.toStdString();
        for (size_t row = 0; row < m_paths.size(); ++row)
            if (m_paths[row] == wanted)
                emit dataChanged(index(static_cast<int>(row), ColName), index(static_cast<int>(row), ColName),
                                 {Qt::DecorationRole});
    });
}

void CFileListModel::ClearIcons()
{
    m_iconByExtension.clear();
    m_thumbnails->Clear();
}

CFileListModel::~CFileListModel()
{
    // A read still running stops at its next file instead of holding the program's exit.
    m_current->store(0);
}

quint64 CFileListModel::NextGeneration()
{
    m_current->store(++m_generation);
    return m_generation;
}

void CFileListModel::List(Lister list, std::function<void(Listing&)> landed)
{
    const quint64 generation = NextGeneration();
    m_listing = true;
    QPointer<CFileListModel> self(this);
    QThreadPool::globalInstance()->start([self, generation, current = m_current, list = std::move(list),
                                          landed = std::move(landed)] {
        // A newer listing, or the model's end, makes this one moot: on a slow card it stops at once.
        const Stop stop = [&current, generation] { return current->load() != generation; };
        Listing listing;
        listing.generation = generation;
        try {
            listing.paths = list(stop, listing.busy);
        } catch (const std::exception&) {
            listing.paths.reset(); // read half-way: the rows stay as they are until the next listing
        }
        if (listing.paths)
            listing.texts = ReadRows(*listing.paths, 0, kFirstBatch, stop);
        if (stop())
            return;
        const std::vector<std::string> paths = listing.paths.value_or(std::vector<std::string>{});
        QMetaObject::invokeMethod(qApp, [self, landed, listing = std::move(listing)]() mutable {
            if (!self || listing.generation != self->m_generation)
                return;
            self->m_listing = false;
            landed(listing);
        }, Qt::QueuedConnection);
        // The other rows' texts, in batches that come after the rows (queued calls keep their order).
        for (size_t begin = std::min(kFirstBatch, paths.size()); begin < paths.size() && !stop();) {
            std::vector<Texts> texts = ReadRows(paths, begin, begin + kBatch, stop);
            if (stop())
                return;
            QMetaObject::invokeMethod(qApp, [self, generation, begin, texts = std::move(texts)] {
                if (self)
                    self->Deliver(generation, begin, texts);
            }, Qt::QueuedConnection);
            begin += kBatch;
        }
    });
}

std::vector<CFileListModel::Texts> CFileListModel::ReadRows(const std::vector<std::string>& paths, size_t begin,
                                                            size_t end, const Stop& stop)
{
    std::vector<Texts> texts;
    for (size_t row = begin; row < std::min(end, paths.size()) && !stop(); ++row)
        texts.push_back(RowTexts(paths[row]));
    return texts;
}

void CFileListModel::TakeRows(Listing& listing)
{
    // A file listed before keeps its texts until they are read again: a refresh does not blank the rows.
    std::unordered_map<std::string, Texts> known;
    for (size_t row = 0; row < m_paths.size(); ++row)
        known.emplace(std::move(m_paths[row]), std::move(m_texts[row]));
    beginResetModel();
    m_paths = std::move(*listing.paths);
    m_texts.assign(m_paths.size(), Texts{});
    for (size_t row = 0; row < m_paths.size(); ++row) {
        if (row < listing.texts.size())
            m_texts[row] = std::move(listing.texts[row]);
        else if (const auto it = known.find(m_paths[row]); it != known.end())
            m_texts[row] = it->second;
        else
            m_texts[row][ColName] = QString::fromStdString(CCardFolder::NameText(m_paths[row]));
    }
    m_rowsGeneration = listing.generation;
    m_readUpTo = std::min(listing.texts.size(), m_paths.size());
    endResetModel();
    if (TextsRead())
        emit TextsReady();
}

void CFileListModel::Clear()
{
    m_rowsGeneration = NextGeneration();
    m_listing = false;
    beginResetModel();
    m_paths.clear();
    m_texts.clear();
    m_readUpTo = 0;
    endResetModel();
}

void CFileListModel::Deliver(quint64 generation, size_t first, const std::vector<Texts>& texts)
{
    // Batches come in order, after their listing's rows.
    if (generation != m_rowsGeneration || first != m_readUpTo || texts.empty() ||
        first + texts.size() > m_texts.size())
        return;
    std::copy(texts.begin(), texts.end(), m_texts.begin() + static_cast<std::ptrdiff_t>(first));
    m_readUpTo += texts.size();
    emit dataChanged(index(static_cast<int>(first), 0),
                     index(static_cast<int>(first + texts.size() - 1), ColumnCount - 1), {Qt::DisplayRole});
    if (TextsRead())
        emit TextsReady();
}

std::optional<std::string> CFileListModel::PathOfRow(int row) const
{
    if (row < 0 || static_cast<size_t>(row) >= m_paths.size())
        return std::nullopt;
    return m_paths[static_cast<size_t>(row)];
}

void CFileListModel::sort(int column, Qt::SortOrder order)
{
    if (m_sort)
        m_sort(column, order);
}

int CFileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_paths.size());
}

int CFileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString CFileListModel::CellText(const std::string& path, int column)
{
    try {
        switch (column) {
        case ColName: return QString::fromStdString(CCardFolder::NameText(path));
        case ColDuration: return QString::fromStdString(CCardFolder::DurationText(path));
        case ColSize: return QString::fromStdString(CCardFolder::SizeTextOf(path));
        case ColDate: return QString::fromStdString(CCardFolder::DateTextOf(path));
        default: return {};
        }
    } catch (const std::exception&) {
        return {}; // the file vanished or its sidecar cannot be read: the row shows no text
    }
}

CFileListModel::Texts CFileListModel::RowTexts(const std::string& path)
{
    Texts texts;
    for (int column = 0; column < ColumnCount; ++column)
        texts[static_cast<size_t>(column)] = CellText(path, column);
    return texts;
}

QVariant CFileListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || static_cast<size_t>(index.row()) >= m_paths.size() || index.column() >= ColumnCount)
        return {};
    const size_t row = static_cast<size_t>(index.row());
    if (role == Qt::DisplayRole)
        return m_texts[row][static_cast<size_t>(index.column())];
    if (role != Qt::DecorationRole || index.column() != ColName)
        return {};
    // The file's own picture where the card has one; its type's icon until then and otherwise.
    const QIcon thumbnail = m_thumbnails->IconFor(m_paths[row]);
    return thumbnail.isNull() ? IconFor(m_paths[row]) : thumbnail;
}

QIcon CFileListModel::IconFor(const std::string& path) const
{
    std::string extension;
    if (!GetExtension(path, extension))
        return {};
    const QString key = QString::fromStdString(extension);
    auto it = m_iconByExtension.find(key);
    if (it == m_iconByExtension.end())
        it = m_iconByExtension.insert(key, CShellIcons::FileIcon(path));
    return *it;
}

QVariant CFileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ColName: return tr("name");
    case ColDuration: return tr("duration");
    case ColSize: return tr("size");
    case ColDate: return tr("date");
    default: return {};
    }
}

Qt::ItemFlags CFileListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

} // namespace tq9
