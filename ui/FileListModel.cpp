#include "ui/FileListModel.h"

#include "card/CardFolder.h"
#include "card/TQ9SystemFile.h"
#include "ui/ShellIcons.h"
#include "ui/ThumbnailLoader.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <unordered_map>

namespace tq9 {

namespace {

// Rows read before the first delivery: more than a screen, so the first screen fills in one step.
constexpr size_t kFirstBatch = 64;
constexpr size_t kBatch = 256;
constexpr std::chrono::milliseconds kFirstScreenWait{500};

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

void CFileListModel::SetPaths(const std::vector<std::string>& paths)
{
    // A file listed before keeps its texts until they are read again: a refresh does not blank the rows.
    std::unordered_map<std::string, Texts> known;
    for (size_t row = 0; row < m_paths.size(); ++row)
        known.emplace(m_paths[row], m_texts[row]);
    beginResetModel();
    m_paths = paths;
    m_texts.assign(paths.size(), Texts{});
    for (size_t row = 0; row < paths.size(); ++row) {
        if (const auto it = known.find(paths[row]); it != known.end())
            m_texts[row] = it->second;
        else
            m_texts[row][ColName] = QString::fromStdString(CCardFolder::NameText(paths[row]));
    }
    endResetModel();
    ReadTexts();
}

CFileListModel::~CFileListModel()
{
    // A read still running stops at its next row instead of holding the program's exit.
    m_current->store(0);
}

void CFileListModel::ReadTexts()
{
    const quint64 generation = ++m_generation;
    m_current->store(generation);
    m_readUpTo = 0;
    if (m_paths.empty()) {
        emit TextsReady();
        return;
    }
    // The first screen is waited for a moment, so a card that answers at once shows whole rows at once;
    // a slow one shows the names and fills in the rest as it comes.
    auto firstScreen = std::make_shared<std::promise<std::vector<Texts>>>();
    std::future<std::vector<Texts>> first = firstScreen->get_future();
    QPointer<CFileListModel> self(this);
    QThreadPool::globalInstance()->start([self, generation, current = m_current, paths = m_paths, firstScreen] {
        for (size_t begin = 0; begin < paths.size();) {
            const size_t end = std::min(paths.size(), begin + (begin == 0 ? kFirstBatch : kBatch));
            std::vector<Texts> texts;
            texts.reserve(end - begin);
            // A newer listing, or the model's end, makes this one moot: on a slow card it stops at once.
            for (size_t row = begin; row < end && current->load() == generation; ++row)
                texts.push_back(RowTexts(paths[row]));
            if (current->load() != generation) {
                if (begin == 0)
                    firstScreen->set_value({});
                return;
            }
            if (begin == 0)
                firstScreen->set_value(texts);
            QMetaObject::invokeMethod(qApp, [self, generation, begin, texts = std::move(texts)] {
                if (self)
                    self->Deliver(generation, begin, texts);
            }, Qt::QueuedConnection);
            begin = end;
        }
    });
    if (first.wait_for(kFirstScreenWait) == std::future_status::ready)
        Deliver(generation, 0, first.get());
}

void CFileListModel::Deliver(quint64 generation, size_t first, const std::vector<Texts>& texts)
{
    // Batches come in order; the first screen may come twice (waited for, then queued).
    if (generation != m_generation || first != m_readUpTo || texts.empty() ||
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
