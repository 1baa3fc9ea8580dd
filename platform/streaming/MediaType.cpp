#include "platform/streaming/MediaType.h"

namespace tq9 {

bool CMediaType::GetBitmapHeader(BITMAPINFOHEADER& header) const
{
    if (formatType == FormatType::VideoInfo) {
        VIDEOINFOHEADER vih;
        if (!GetFormat(vih))
            return false;
        header = vih.bmiHeader;
        return true;
    }
    if (formatType == FormatType::VideoInfo2) {
        VIDEOINFOHEADER2 vih;
        if (!GetFormat(vih))
            return false;
        header = vih.bmiHeader;
        return true;
    }
    return false;
}

REFERENCE_TIME CMediaType::AvgTimePerFrame() const
{
    VIDEOINFOHEADER vih;
    VIDEOINFOHEADER2 vih2;
    if (formatType == FormatType::VideoInfo && GetFormat(vih))
        return vih.AvgTimePerFrame;
    if (formatType == FormatType::VideoInfo2 && GetFormat(vih2))
        return vih2.AvgTimePerFrame;
    return 0;
}

} // namespace tq9
