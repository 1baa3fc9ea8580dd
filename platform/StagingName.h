// The hidden names the file operations use in a destination folder (all start with kTempPrefix):
// - staged copies ".tq9-part-<pid>-<n>": a copy is written and flushed there before it gets its final name;
// - journals ".tq9-part-<pid>-<n>.item": while an item (a media file and its sidecars) is renamed into
//   place, its journal lists the item's final names, the media file first. The sidecars are renamed
//   first and the media file last, so an item whose media file is missing was cut short; RemoveLeftovers
//   then takes its sidecars back off the card.
// Journals exist only while their writer holds the folder lock (CFolderLock), so any journal found under
// that lock is abandoned. A staged copy is a leftover when its process no longer runs, when it is this
// process's and nobody writes it, or when it is a day old (a card from another machine, or a writer that
// does not take the lock).
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

    // Creates the journal at path listing the final names (file names in its folder), flushed with its
    // folder before returning. 0, or -1 with errno set (nothing left behind).
    static int WriteJournal(const std::string& path, const std::vector<std::string>& names);

    // Call with the folder lock held: rolls back the items of abandoned journals and removes leftover
    // staged copies. Best effort: what cannot be removed now is tried again next time.
    static void RemoveLeftovers(const std::string& folder);

    static constexpr const char* kPrefix = ".tq9-part-";
    static constexpr const char* kJournalSuffix = ".item";

private:
    std::string m_path;
};

} // namespace tq9
