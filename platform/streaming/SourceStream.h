// An output pin that pushes samples on a streaming thread of its own: borrow the connection's buffer,
// FillBuffer it, deliver it to the connected input pin, again and again. FillBuffer answers S_OK for a
// filled sample, S_FALSE at the end of the stream (the pin then delivers end-of-stream and its thread
// ends), or a failure (the filter reports an error abort and no end-of-stream is delivered, so a writer
// downstream never completes a file whose stream was cut by an error).
//
// Threads: Active and Inactive run on the graph's controlling thread; everything else on the pin's
// streaming thread. A stop is seen by the thread when it asks for a buffer or when FillBuffer checks
// StopRequested; after a stop the thread delivers nothing more, not even end-of-stream, so a stopped run
// never looks like a finished one downstream.
#pragma once

#include <atomic>
#include <thread>

#include "platform/streaming/BaseInputPin.h"

namespace tq9 {

class CSourceStream : public CBasePin {
public:
    CSourceStream(CBaseFilter& filter, std::string name) : CBasePin(filter, std::move(name), PinDirection::Output) {}
    ~CSourceStream() override;

    // Asks the connection's allocator for buffers; S_OK when what it granted will do.
    virtual HRESULT DecideBufferSize(CMemAllocator& allocator, ALLOCATOR_PROPERTIES& request) = 0;
    // Fills one sample (bytes, length, times, sync point).
    virtual HRESULT FillBuffer(CMediaSample& sample) = 0;

    // Start the streaming thread (the allocator committed first) / stop it and wait for it to end.
    HRESULT Active();
    void Inactive();

    // Raises the stop flag without waiting; Inactive does it too.
    void RequestStop() { m_stop.store(true); }
    bool StopRequested() const { return m_stop.load(); }

protected:
    // Hooks of the streaming thread; nothing by default.
    virtual HRESULT OnThreadCreate() { return S_OK; }
    virtual HRESULT OnThreadDestroy() { return S_OK; }
    virtual HRESULT OnThreadStartPlay() { return S_OK; }

private:
    void ThreadProc();
    void DeliverEndOfStream();

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
};

} // namespace tq9
