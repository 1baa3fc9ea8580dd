// The hidden names the file operations use in a destination folder (all start with kPrefix):
// - staged copies ".tq9-part-<pid>-<n>": a copy is written and flushed there before it gets its final name;
// - journals ".tq9-part-<pid>-<n>.item": while an item (a media file and its sidecars) is renamed into
//   place, its journal pairs each staged copy with the final name it takes. The sidecars are renamed
//   first and the media file last.
// Journals exist only while their writer holds the folder lock (CFolderLock), so a journal found under
// that lock whose writer is gone is abandoned. Recovery (card folders only) finishes such an item: each
// staged copy of the journal's own run that is still there takes its final name if that name is free. It
// never removes or replaces a visible name, so a journal it did not write (copied from another card,
// crafted) can at worst make one of our hidden copies visible. A staged copy is a leftover when its process
// no longer runs, when it is this process's and nobody writes it, or when it is a day old (a card from
// another machine, or a writer that does not take the lock); only regular files under the exact pattern
// are removed.
//
// A journal is trusted only as far as it proves itself: a regular file (not a link, FIFO or device) of at
// most kMaxJournalBytes, starting with the magic line, listing at most kMaxJournalEntries pairs of plain
// names of its own folder (no "/", no "..", at most NAME_MAX bytes), each staged name one of the journal's
// own run.
//
// A process-wide set of the names in use (guarded by a mutex) keeps one thread's clean-up off another's
// copy.
#pragma once

#include <string>
#include <vector>

namespace tq9 {

class CStagingName {
public:
    // A fresh name in folder, registered as in use for the object's lifetime (the file is not created).
    explicit CStagingName(const std::string& folder, const std::string& suffix = std::string());
    ~CStagingName();
    CStagingName(const CStagingName&) = delete;
    CStagingName& operator=(const CStagingName&) = delete;

    const std::string& Path() const { return m_path; }

    // One file of an item: its staged copy's name (empty for a file renamed from elsewhere, which recovery
    // cannot finish) and its final name, both names in the journal's folder.
    struct JournalEntry {
        std::string staged;
        std::string final;
    };

    // Creates the journal at path, flushed with its folder before returning. 0, or -1 with errno set
    // (nothing left behind; EINVAL for entries a journal may not hold).
    static int WriteJournal(const std::string& path, const std::vector<JournalEntry>& entries);
    // The entries of a journal that passes every check above; false for anything else.
    static bool ReadJournal(const std::string& path, std::vector<JournalEntry>& entries);

    // Call with the folder lock held, on card folders only: finishes the items of abandoned journals and
    // removes leftover staged copies. Best effort: what cannot be done now is tried again next time.
    static void RemoveLeftovers(const std::string& folder);

    // Whether name is exactly a staged copy's (journal false) or a journal's (journal true) name, and
    // whose: pid receives the run's process id.
    static bool ParseName(const std::string& name, bool journal, long& pid);

    static constexpr const char* kPrefix = ".tq9-part-";
    static constexpr const char* kJournalSuffix = ".item";
    static constexpr const char* kJournalMagic = "TQ9 item journal 1\n";
    static constexpr size_t kMaxJournalBytes = 4096;
    static constexpr size_t kMaxJournalEntries = 8;
    // Journals looked at per placement: a folder stuffed with them costs a bounded time.
    static constexpr size_t kMaxJournalsPerRun = 64;

private:
    std::string m_path;
};

} // namespace tq9
