// Two process-wide flags that let the program's own views recognise a drag that started in the file list
// (a drop of card files on a card folder duplicates instead of importing) and keep the export from running
// while the program itself is taking a drop.
//
// Any thread. The flags change only by atomic exchange; reads are plain atomic loads.
#pragma once

#include <atomic>
#include <cstdint>

namespace tq9 {

class CSelfDDIndicator {
public:
    // Created on first use (thread-safe), destroyed at process exit.
    static CSelfDDIndicator& Instance();
    virtual ~CSelfDDIndicator() = default;

    // 1 while a drag that started in the file list is in progress. Set returns the previous value.
    int32_t SetSelfDrag(int32_t value) { return m_selfDrag.exchange(value); }
    int32_t GetSelfDrag() const { return m_selfDrag.load(); }

    // 1 while the folder tree or the file list is handling a drop. Set returns the previous value.
    int32_t SetDropBusy(int32_t value) { return m_dropBusy.exchange(value); }
    int32_t GetDropBusy() const { return m_dropBusy.load(); }

private:
    CSelfDDIndicator() = default;
    CSelfDDIndicator(const CSelfDDIndicator&) = delete;
    CSelfDDIndicator& operator=(const CSelfDDIndicator&) = delete;

    std::atomic<int32_t> m_selfDrag{0};
    std::atomic<int32_t> m_dropBusy{0};
};

} // namespace tq9
