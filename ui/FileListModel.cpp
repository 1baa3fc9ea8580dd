#include "ui/FileListModel.h"

#include "card/CardFolder.h"
#include "card/TQ9SystemFile.h"
#include "ui/ShellIcons.h"
#include "ui/ThumbnailLoader.h"

namespace tq9 {

CFileListModel::CFileListModel(PathOfRow pathOfRow, QObject* parent)
    : QAbstractTableModel(parent)
    , m_pathOfRow(std::move(pathOfRow))
    , m_thumbnails(new CThumbnailLoader(this))
{
    connect(m_thumbnails, &CThumbnailLoader::Ready, this, [this](const QString& path) {
        const std::string wanted = path.toStdString();
        for (int row = 0; row < m_rows; ++row)
            if (m_pathOfRow(row) == wanted)
                emit dataChanged(index(row, ColName), index(row, ColName), {Qt::DecorationRole});
    });
}

void CFileListModel::ClearIcons()
{
    m_iconByExtension.clear();
    m_thumbnails->Clear();
}

void CFileListModel::SetRowCount(int rows)
{
    beginResetModel();
    m_rows = rows;
    endResetModel();
}

void CFileListModel::sort(int column, Qt::SortOrder order)
{
    if (m_sort)
        m_sort(column, order);
}

int CFileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
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

QVariant CFileListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows)
        return {};
    if (role != Qt::DisplayRole && !(role == Qt::DecorationRole && index.column() == ColName))
        return {};
    const std::optional<std::string> path = m_pathOfRow(index.row());
    if (!path)
        return {};
    if (role == Qt::DecorationRole) {
        // The file's own picture where the card has one; its type's icon until then and otherwise.
        const QIcon thumbnail = m_thumbnails->IconFor(*path);
        return thumbnail.isNull() ? IconFor(*path) : thumbnail;
    }
    return CellText(*path, index.column());
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
