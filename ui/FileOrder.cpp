#include "ui/FileOrder.h"

#include "card/TQ9SystemFile.h"
#include "ui/FileListModel.h"
#include "card/NaturalOrder.h"

#include <QString>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace tq9 {

namespace {

struct Keyed {
    std::string path;
    QString name;
    int64_t value = 0; // the column's value; 0 for the name column
};

int64_t ValueOf(const std::string& path, int column)
{
    std::error_code error;
    switch (column) {
    case CFileListModel::ColDuration:
        try {
            CTQ9SystemFile record;
            record.InitFromCardPath(path);
            return record.MarkerSeconds();
        } catch (const std::exception&) {
            return 0;
        }
    case CFileListModel::ColSize: {
        const auto size = std::filesystem::file_size(path, error);
        return error ? 0 : static_cast<int64_t>(size);
    }
    case CFileListModel::ColDate: {
        const auto when = std::filesystem::last_write_time(path, error);
        return error ? 0 : static_cast<int64_t>(when.time_since_epoch().count());
    }
    default:
        return 0;
    }
}

} // namespace

void CFileOrder::Sort(std::vector<std::string>& paths, int column, bool descending, const std::function<bool()>& stop)
{
    // Each key is read once: a duration costs a file read.
    std::vector<Keyed> keyed;
    keyed.reserve(paths.size());
    for (std::string& path : paths) {
        Keyed k;
        k.name = QString::fromStdString(std::filesystem::path(path).filename().string());
        k.value = column == CFileListModel::ColName || (stop && stop()) ? 0 : ValueOf(path, column);
        k.path = std::move(path);
        keyed.push_back(std::move(k));
    }
    std::stable_sort(keyed.begin(), keyed.end(), [descending](const Keyed& a, const Keyed& b) {
        int order = a.value < b.value ? -1 : (a.value > b.value ? 1 : 0);
        if (order == 0)
            order = CNaturalOrder::Compare(a.name, b.name);
        return descending ? order > 0 : order < 0;
    });
    for (size_t i = 0; i < keyed.size(); ++i)
        paths[i] = std::move(keyed[i].path);
}

} // namespace tq9
