// The rows of the file list, held in memory: each row's path and its cells' texts (name, duration from the
// .mrk sidecar, size, date). SetPaths takes a folder's listing; the texts are read once for the whole
// listing on the thread pool, the first screen first (waited for up to half a second, so a quick card
// shows whole rows at once), the rest filled in as it arrives. Drawing and scrolling never touch the
// disk. A row that was listed before keeps its texts until they are read again.
//
// Threads: UI thread only; the pool's task reads files and hands the texts back through a queued call
// (texts of an older listing are dropped by their generation).
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>

#include <array>
#include <atomic>
#include <memory>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tq9 {

class CThumbnailLoader;

class CFileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColName, ColDuration, ColSize, ColDate, ColumnCount };
    using Texts = std::array<QString, ColumnCount>;

    explicit CFileListModel(QObject* parent = nullptr);
    ~CFileListModel() override;

    // Replaces the rows with a folder's listing, in order.
    void SetPaths(const std::vector<std::string>& paths);
    const std::vector<std::string>& Paths() const { return m_paths; }
    std::optional<std::string> PathOfRow(int row) const;
    // Who sorts the rows (the view lists the folder again in the new order).
    void SetSortHandler(std::function<void(int column, Qt::SortOrder order)> handler) { m_sort = std::move(handler); }
    void sort(int column, Qt::SortOrder order) override;
    // Forgets the per-extension icons and the thumbnails (a new folder is shown).
    void ClearIcons();
    CThumbnailLoader* Thumbnails() const { return m_thumbnails; }
    // True once every row's texts have been read.
    bool TextsRead() const { return m_readUpTo == m_paths.size(); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The text of one cell, read from the disk (any thread); empty when the file cannot be read.
    static QString CellText(const std::string& path, int column);
    // All cells of a row (any thread).
    static Texts RowTexts(const std::string& path);

signals:
    // Every row's texts have been read (tests and benchmarks wait for it).
    void TextsReady();

private:
    void ReadTexts();
    void Deliver(quint64 generation, size_t first, const std::vector<Texts>& texts);
    QIcon IconFor(const std::string& path) const;

    CThumbnailLoader* m_thumbnails; // child of the model
    std::function<void(int, Qt::SortOrder)> m_sort;
    std::vector<std::string> m_paths;
    std::vector<Texts> m_texts;
    size_t m_readUpTo = 0;    // rows whose texts have been read, from the top
    quint64 m_generation = 0; // texts read for an older listing are dropped
    // The generation being read, shared with the pool's task, which stops when it changes (0: the
    // model is gone).
    std::shared_ptr<std::atomic<quint64>> m_current = std::make_shared<std::atomic<quint64>>(0);
    // The first file drawn of an extension gives the icon of all of them (exact, case-sensitive key).
    mutable QHash<QString, QIcon> m_iconByExtension;
};

} // namespace tq9
