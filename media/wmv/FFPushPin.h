// What the two output pins of CFFPushSource share: their one proposed type and its agreement, the decoding
// loop that feeds the pin's decoder with its stream's packets until it gives a frame, drains it at the end of
// the file, and tells the filter when the pin takes no more packets.
#pragma once

#include "media/wmv/FFPushSource.h"
#include "platform/streaming/SourceStream.h"

namespace tq9 {

class CFFPushPin : public CSourceStream {
public:
    CFFPushPin(CFFPushSource& source, std::string name, int which)
        : CSourceStream(source, std::move(name)), m_source(source), m_which(which)
    {
    }

    // The one type the pin proposes, at position 0, built by ProposeType from the loaded streams.
    HRESULT GetMediaType(int position, CMediaType& type) override;
    // A type without its format block cannot be agreed.
    HRESULT SetMediaType(const CMediaType& type) override;

protected:
    // Fills a fresh type with the pin's proposal; the source's state lock is held.
    virtual void ProposeType(CMediaType& type) = 0;
    // Takes the decoder's next frame into the pin: 0, TQ9_MEDIA_AGAIN, TQ9_MEDIA_EOF or an error.
    virtual int ReceiveFrame() = 0;
    // Runs ReceiveFrame until it has a frame (S_OK), the stream is over (S_FALSE) or something failed.
    HRESULT DecodeNext();
    // Asks allocator for one buffer of size bytes; E_FAIL when it grants less.
    static HRESULT RequestOneBuffer(CMemAllocator& allocator, ALLOCATOR_PROPERTIES& request, long size);

    HRESULT OnThreadDestroy() override;

    CFFPushSource& m_source;
    int m_which;

private:
    bool m_drained = false;
};

} // namespace tq9
