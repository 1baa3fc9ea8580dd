// What the folder tree and the file list do alike when files are dropped on a card folder: read the
// dropped names, enforce the folder's file limit, run the import (or, for card files of the program's own
// drag, the duplication) behind the progress dialog and report its outcome. UI thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class QMimeData;
class QWidget;

namespace tq9 {

class CDuplicator;
class CImporter;

class CDropImport {
public:
    // Whether a drag may be taken at all: it carries a file list and no drop is being handled.
    static bool Accepts(const QMimeData* data);
    // Local paths of the dropped files (text/uri-list), in order. Names longer than the file system
    // allows are left out; so are non-local URLs.
    static std::vector<std::string> DroppedFiles(const QMimeData* data);
    // The card paths a drag of the program's own file list carries; empty for any other drag.
    static std::vector<std::string> DraggedCardFiles(const QMimeData* data);
    // True, after showing IDS_TOO_MANY_FILES, when dropped files added to those the folder lists exceed
    // the device's limit of files per folder.
    static bool ExceedsLimit(QWidget* owner, size_t listed, size_t dropped);
    // Prepare and Run the import into folder behind the progress dialog, then show its report (if any).
    // Returns the job result (Prepare's when it refused); 0 when every file came in, which the caller
    // announces where it needs no answer (the status bar).
    static int Import(QWidget* owner, CImporter& importer, const std::string& folder,
                      const std::vector<std::string>& files, uint64_t freeBytes);

    // Prepare and Run the duplication of card files into folder behind the progress dialog, then show its
    // report (if any). Returns the job result (Prepare's when it refused; 0 when every file came in).
    static int Duplicate(QWidget* owner, CDuplicator& duplicator, const std::string& folder,
                         const std::vector<std::string>& files, uint64_t freeBytes);

    // Shows a job's report, if any.
    static void Report(QWidget* owner, const std::string& report);

    // Holds the drop-busy flag for a drop handler's whole run.
    class BusyGuard {
    public:
        BusyGuard();
        ~BusyGuard();
        BusyGuard(const BusyGuard&) = delete;
        BusyGuard& operator=(const BusyGuard&) = delete;
    };
};

} // namespace tq9
