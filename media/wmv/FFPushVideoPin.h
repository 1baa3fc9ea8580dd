// "V Out" of CFFPushSource: decoded pictures as planar YV12 (Y, then V, then U, rows without padding), one
// picture per sample, each a sync point timed by its presentation time.
#pragma once

#include "media/wmv/FFPushPin.h"

namespace tq9 {

class CFFPushVideoPin : public CFFPushPin {
public:
    explicit CFFPushVideoPin(CFFPushSource& source) : CFFPushPin(source, "V Out", CFFPushSource::kVideo) {}

    HRESULT CheckMediaType(const CMediaType* type) override;
    HRESULT SetMediaType(const CMediaType& type) override;
    HRESULT DecideBufferSize(CMemAllocator& allocator, ALLOCATOR_PROPERTIES& request) override;
    HRESULT FillBuffer(CMediaSample& sample) override;

protected:
    void ProposeType(CMediaType& type) override;
    int ReceiveFrame() override;

private:
    Tq9MediaPicture m_picture{};
    int64_t m_nextStartUs = 0; // where a picture without a time of its own starts
};

} // namespace tq9
