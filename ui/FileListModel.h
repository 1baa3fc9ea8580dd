// The rows of the file list, computed on demand: the model stores only the row count, and each visible
// cell asks the file list for the row's path and builds its text from the disk. UI thread only.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>

#include <functional>
#include <optional>
#include <string>

namespace tq9 {

class CThumbnailLoader;

class CFileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColName, ColDuration, ColSize, ColDate, ColumnCount };

    // pathOfRow answers the full path of a row, or nothing when the row no longer exists.
    using PathOfRow = std::function<std::optional<std::string>(int row)>;
    explicit CFileListModel(PathOfRow pathOfRow, QObject* parent = nullptr);

    void SetRowCount(int rows);
    // Who sorts the rows (they live in the file list's cache, not here).
    void SetSortHandler(std::function<void(int column, Qt::SortOrder order)> handler) { m_sort = std::move(handler); }
    void sort(int column, Qt::SortOrder order) override;
    // Forgets the per-extension icons and the thumbnails (a new folder is shown).
    void ClearIcons();
    CThumbnailLoader* Thumbnails() const { return m_thumbnails; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The text of one cell; empty when the file cannot be read.
    static QString CellText(const std::string& path, int column);

private:
    QIcon IconFor(const std::string& path) const;

    PathOfRow m_pathOfRow;
    CThumbnailLoader* m_thumbnails; // child of the model
    std::function<void(int, Qt::SortOrder)> m_sort;
    int m_rows = 0;
    // The first file drawn of an extension gives the icon of all of them (exact, case-sensitive key).
    mutable QHash<QString, QIcon> m_iconByExtension;
};

} // namespace tq9
