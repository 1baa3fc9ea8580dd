// The allocator of one pin connection: a single buffer of the size the output pin decides
// (DecideBufferSize). A streaming thread borrows it with GetBuffer and gives it back with ReleaseBuffer;
// a second borrower waits until it is back. Decommit wakes every waiter with VFW_E_NOT_COMMITTED, which is
// how a stop reaches a streaming thread that waits for a buffer.
//
// Thread-safe.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/streaming/MediaSample.h"

namespace tq9 {

class CMemAllocator {
public:
    // Takes the requested size; the count is always one. actual receives what was granted.
    HRESULT SetProperties(const ALLOCATOR_PROPERTIES& request, ALLOCATOR_PROPERTIES& actual);
    HRESULT GetProperties(ALLOCATOR_PROPERTIES& actual) const;

    // Allocates the buffer (once the properties are set); Decommit refuses further borrowing.
    HRESULT Commit();
    void Decommit();

    // Waits for the buffer; nullptr (with VFW_E_NOT_COMMITTED in status) once decommitted.
    CMediaSample* GetBuffer(HRESULT& status);
    void ReleaseBuffer(CMediaSample* sample);

private:
    mutable std::mutex m_lock;
    std::condition_variable m_returned;
    ALLOCATOR_PROPERTIES m_properties;
    std::unique_ptr<CMediaSample> m_sample;
    bool m_committed = false;
    bool m_lent = false;
};

} // namespace tq9
