// A media type: what flows over a pin connection (major type, subtype, sample properties) plus its format
// block as raw bytes in the published layout. Plain value.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/streaming/StreamingTypes.h"

namespace tq9 {

class CMediaType {
public:
    MajorType majorType = MajorType::None;
    SubType subType = SubType::None;
    bool fixedSizeSamples = true;
    bool temporalCompression = false;
    uint32_t sampleSize = 0;
    FormatType formatType = FormatType::None;
    std::vector<uint8_t> format;

    // Copies a format block (plus extra bytes after it) in.
    template <typename T>
    void SetFormat(FormatType type, const T& block, const void* extra = nullptr, size_t extraSize = 0)
    {
        formatType = type;
        format.resize(sizeof(T) + extraSize);
        std::memcpy(format.data(), &block, sizeof(T));
        if (extraSize)
            std::memcpy(format.data() + sizeof(T), extra, extraSize);
    }
    // A copy of the format block as T; false when the block is shorter than T.
    template <typename T>
    bool GetFormat(T& block) const
    {
        if (format.size() < sizeof(T))
            return false;
        std::memcpy(&block, format.data(), sizeof(T));
        return true;
    }
    // The bitmap header of a video info or video info 2 block; false for any other format.
    bool GetBitmapHeader(BITMAPINFOHEADER& header) const;
    // The frame period of a video info or video info 2 block; 0 when unknown.
    REFERENCE_TIME AvgTimePerFrame() const;
};

} // namespace tq9
