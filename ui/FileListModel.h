// The rows of the file list, held in memory: each row's path and its cells' texts (name, duration from the
// .mrk sidecar, size, date). List reads a folder's listing on the thread pool: the directory, its order
// and the first screen's texts are read there and land on the UI thread in one step, for the newest
// listing only (one of a folder left meanwhile stops reading and is dropped); the other rows' texts follow
// as they are read. Drawing and scrolling never touch the disk. A row that was listed before keeps its
// texts until they are read again.
//
// Threads: UI thread only; the pool's task reads files and hands its results back through queued calls
// (results of an older listing are dropped by their generation).
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

    // true: the reader is no longer wanted (a newer listing started, or the model is gone).
    using Stop = std::function<bool()>;
    // A folder's listing as read on the pool.
    struct Listing {
        quint64 generation = 0;
        std::optional<std::vector<std::string>> paths; // in order; nullopt: the folder cannot be read
        size_t busy = 0;                               // files left out while another program writes them
        std::vector<Texts> texts;                      // of the first rows
    };
    // Reads the paths to list (on the pool), sorted; may give up when stop() says so.
    using Lister = std::function<std::optional<std::vector<std::string>>(const Stop& stop, size_t& busy)>;

    explicit CFileListModel(QObject* parent = nullptr);
    ~CFileListModel() override;

    // Starts a listing: list runs on the pool and the first screen's texts are read after it; then
    // landed(listing) runs on the UI thread unless a newer listing or Clear came first. A listing still
    // running stops. landed takes the rows with TakeRows, or leaves the rows as they are.
    void List(Lister list, std::function<void(Listing&)> landed);
    // Makes a landed listing's rows the model's (its paths must be set).
    void TakeRows(Listing& listing);
    // No rows; a listing still running is dropped.
    void Clear();
    // True from List until its listing lands (or Clear).
    bool IsListing() const { return m_listing; }
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
    quint64 NextGeneration();
    // Texts of paths[begin, end) (any thread); fewer when stop() turns true.
    static std::vector<Texts> ReadRows(const std::vector<std::string>& paths, size_t begin, size_t end,
                                       const Stop& stop);
    void Deliver(quint64 generation, size_t first, const std::vector<Texts>& texts);
    QIcon IconFor(const std::string& path) const;

    CThumbnailLoader* m_thumbnails; // child of the model
    std::function<void(int, Qt::SortOrder)> m_sort;
    std::vector<std::string> m_paths;
    std::vector<Texts> m_texts;
    size_t m_readUpTo = 0;        // rows whose texts have been read, from the top
    quint64 m_generation = 0;     // the newest listing; what an older one read is dropped
    quint64 m_rowsGeneration = 0; // the listing the rows came from
    bool m_listing = false;
    // The newest generation, shared with the pool's task, which stops when it changes (0: the model is
    // gone).
    std::shared_ptr<std::atomic<quint64>> m_current = std::make_shared<std::atomic<quint64>>(0);
    // The first file drawn of an extension gives the icon of all of them (exact, case-sensitive key).
    mutable QHash<QString, QIcon> m_iconByExtension;
};

} // namespace tq9
