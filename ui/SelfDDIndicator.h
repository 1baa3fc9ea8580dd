// Two process-wide flags that let the program's own views recognise a drag that started in the file list
// (a drop of card files on a card folder duplicates instead of importing) and keep the export from running
// while the program itself is taking a drop. The jobs never read them: the views hand what they mean to
// the job's call (CExporter::Prepare's ownDrop, CImporter::Prepare's variant).
//
// Any thread. The flags change only by atomic exchange; reads are plain atomic loads.
#pragma once

#include <atomic>

namespace tq9 {

class CSelfDDIndicator {
public:
    // Created on first use (thread-safe), destroyed at process exit.
    static CSelfDDIndicator& Instance();
    virtual ~CSelfDDIndicator() = default;

    // Set while a drag that started in the file list is in progress. Set returns the previous value.
    bool SetSelfDrag(bool value) { return m_selfDrag.exchange(value); }
    bool GetSelfDrag() const { return m_selfDrag.load(); }

    // Set while the folder tree or the file list is handling a drop. Set returns the previous value.
    bool SetDropBusy(bool value) { return m_dropBusy.exchange(value); }
    bool GetDropBusy() const { return m_dropBusy.load(); }

private:
    CSelfDDIndicator() = default;
    CSelfDDIndicator(const CSelfDDIndicator&) = delete;
    CSelfDDIndicator& operator=(const CSelfDDIndicator&) = delete;

    std::atomic<bool> m_selfDrag{false};
    std::atomic<bool> m_dropBusy{false};
};

} // namespace tq9
