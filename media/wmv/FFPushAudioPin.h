// "A Out" of CFFPushSource: decoded sound as interleaved 16-bit PCM at the stream's rate and channel
// count. Each sample holds what one decoding step gave (split when it exceeds the buffer), timed by its
// presentation time and marked a sync point.
#pragma once

#include <vector>

#include "media/wmv/FFPushPin.h"

namespace tq9 {

class CFFPushAudioPin : public CFFPushPin {
public:
    explicit CFFPushAudioPin(CFFPushSource& source) : CFFPushPin(source, "A Out", CFFPushSource::kAudio) {}

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT DecideBufferSize(CMemAllocator& allocator, ALLOCATOR_PROPERTIES& request) override;
    HRESULT FillBuffer(CMediaSample& sample) override;

protected:
    void ProposeType(CMediaType& type) override;
    int ReceiveFrame() override;

private:
    std::vector<int16_t> m_pending; // decoded sound not yet delivered
    size_t m_pendingOffset = 0;     // values of m_pending already delivered
    int64_t m_pendingStartUs = 0;   // time of the first value not yet delivered
};

} // namespace tq9
