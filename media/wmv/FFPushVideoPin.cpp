#include "media/wmv/FFPushVideoPin.h"

#include <cstring>

namespace tq9 {

namespace {

// Copies rows of width bytes from a plane with its own stride to packed rows; returns the end.
uint8_t* CopyPlane(uint8_t* out, const uint8_t* plane, int stride, int width, int rows)
{
    for (int row = 0; row < rows; ++row, out += width)
        std::memcpy(out, plane + static_cast<ptrdiff_t>(row) * stride, static_cast<size_t>(width));
    return out;
}

} // namespace

void CFFPushVideoPin::ProposeType(CMediaType& type)
{
    const int width = m_source.VideoWidth();
    const int height = m_source.VideoHeight();
    type.majorType = MajorType::Video;
    type.subType = SubType::YV12;
    type.temporalCompression = false;
    type.sampleSize = static_cast<uint32_t>(m_source.PictureSize());
    VIDEOINFOHEADER2 vih{};
    vih.rcSource = vih.rcTarget = RECT{0, 0, width, height};
    // The writer takes its frame rate from here.
    vih.AvgTimePerFrame = m_source.FrameDurationUs() * kUnitsPerMicrosecond;
    // The shape the picture is shown at (4:3 for 720x480 with 8:9 pixels), not its pixel count's.
    m_source.DisplayAspect(vih.dwPictAspectRatioX, vih.dwPictAspectRatioY);
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = width;
    vih.bmiHeader.biHeight = height;
    vih.bmiHeader.biPlanes = 1;
    vih.bmiHeader.biBitCount = 12;
    vih.bmiHeader.biCompression = kFourCcYV12;
    vih.bmiHeader.biSizeImage = static_cast<uint32_t>(m_source.PictureSize());
    type.SetFormat(FormatType::VideoInfo2, vih);
}

HRESULT CFFPushVideoPin::CheckMediaType(const CMediaType* type)
{
    if (!type)
        return E_POINTER;
    BITMAPINFOHEADER bmi;
    if (type->majorType != MajorType::Video || !type->fixedSizeSamples || type->subType != SubType::YV12 ||
        !type->GetBitmapHeader(bmi))
        return E_INVALIDARG;
    if (bmi.biWidth != m_source.VideoWidth() || bmi.biHeight != m_source.VideoHeight())
        return E_INVALIDARG;
    return S_OK;
}

HRESULT CFFPushVideoPin::SetMediaType(const CMediaType& type)
{
    if (type.subType != SubType::YV12)
        return E_INVALIDARG;
    return CFFPushPin::SetMediaType(type);
}

HRESULT CFFPushVideoPin::DecideBufferSize(CMemAllocator& allocator, ALLOCATOR_PROPERTIES& request)
{
    BITMAPINFOHEADER bmi;
    if (m_mt.subType != SubType::YV12 || !m_mt.GetBitmapHeader(bmi))
        return E_INVALIDARG;
    return RequestOneBuffer(allocator, request, static_cast<long>(bmi.biSizeImage));
}

int CFFPushVideoPin::ReceiveFrame()
{
    return Tq9MediaReceivePicture(m_source.File(), m_source.StreamIndex(m_which), &m_picture);
}

HRESULT CFFPushVideoPin::FillBuffer(CMediaSample& sample)
{
    const HRESULT decoded = DecodeNext();
    if (decoded != S_OK)
        return decoded;
    const int width = m_source.VideoWidth();
    const int height = m_source.VideoHeight();
    const long size = m_source.PictureSize();
    if (sample.GetSize() < size || m_picture.width != width || m_picture.height != height)
        return E_FAIL;
    const int chromaWidth = (width + 1) / 2;
    const int chromaHeight = (height + 1) / 2;
    uint8_t* out = CopyPlane(sample.GetPointer(), m_picture.planes[0], m_picture.lineSizes[0], width, height);
    out = CopyPlane(out, m_picture.planes[2], m_picture.lineSizes[2], chromaWidth, chromaHeight);
    CopyPlane(out, m_picture.planes[1], m_picture.lineSizes[1], chromaWidth, chromaHeight);
    sample.SetActualDataLength(size);

    // A picture without a time follows the one before it.
    const int64_t startUs = m_picture.ptsUs != TQ9_MEDIA_TIME_NONE ? m_picture.ptsUs : m_nextStartUs;
    const int64_t durationUs = m_picture.durationUs > 0 ? m_picture.durationUs : m_source.FrameDurationUs();
    m_nextStartUs = startUs + durationUs;
    const REFERENCE_TIME start = startUs * kUnitsPerMicrosecond;
    sample.SetTime(start, start + durationUs * kUnitsPerMicrosecond);
    sample.SetSyncPoint(true);
    m_source.RecordPosition(start);
    m_source.RecordSample(startUs, m_nextStartUs);
    return S_OK;
}

} // namespace tq9
