// The vocabulary of the streaming graph: status codes, times, event codes, media type identifiers and the
// binary format blocks that media types carry. The format blocks keep their published layouts and sizes,
// because the WMV converter checks a profile's formats by size (88-byte video info, 28-byte wave format).
#pragma once

#include <cstdint>

namespace tq9 {

// Status codes: negative = failure.
using HRESULT = int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT VFW_S_NO_MORE_ITEMS = 0x00040103;
constexpr HRESULT VFW_E_NO_ACCEPTABLE_TYPES = static_cast<HRESULT>(0x80040207u);
constexpr HRESULT VFW_E_ALREADY_CONNECTED = static_cast<HRESULT>(0x80040204u);
constexpr HRESULT VFW_E_NOT_CONNECTED = static_cast<HRESULT>(0x80040209u);
constexpr HRESULT VFW_E_NOT_COMMITTED = static_cast<HRESULT>(0x80040211u);
constexpr HRESULT VFW_E_WRONG_STATE = static_cast<HRESULT>(0x80040227u);
constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = static_cast<HRESULT>(0x8004022Au);

constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
constexpr bool Failed(HRESULT hr) { return hr < 0; }

// Stream times in 100-nanosecond units.
using REFERENCE_TIME = int64_t;
constexpr REFERENCE_TIME kUnitsPerMicrosecond = 10;
constexpr REFERENCE_TIME kUnitsPerMillisecond = 10000;

// Graph events that end a run.
constexpr long EC_COMPLETE = 1;   // every renderer has seen the end of its streams
constexpr long EC_USERABORT = 2;  // the user stopped the run
constexpr long EC_ERRORABORT = 3; // a filter failed; the event's parameter is its status

enum class MajorType { None, Video, Audio, Stream };
enum class SubType { None, YV12, PCM, WMV2, WMAudioV2, WMAudioPro };
enum class FormatType { None, VideoInfo, VideoInfo2, WaveFormatEx };

// FOURCC of planar YV12 (Y, then V, then U).
constexpr uint32_t kFourCcYV12 = 0x32315659;
constexpr uint32_t kFourCcWMV2 = 0x32564D57;
constexpr uint16_t kWaveFormatPcm = 1;
constexpr uint16_t kWaveFormatWMAudioV2 = 0x161;
constexpr uint16_t kWaveFormatWMAudioPro = 0x162;

struct RECT {
    int32_t left, top, right, bottom;
};

struct BITMAPINFOHEADER {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};

struct VIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    uint32_t dwBitRate;
    uint32_t dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
};

struct VIDEOINFOHEADER2 {
    RECT rcSource;
    RECT rcTarget;
    uint32_t dwBitRate;
    uint32_t dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    uint32_t dwInterlaceFlags;
    uint32_t dwCopyProtectFlags;
    uint32_t dwPictAspectRatioX;
    uint32_t dwPictAspectRatioY;
    uint32_t dwControlFlags;
    uint32_t dwReserved2;
    BITMAPINFOHEADER bmiHeader;
};

#pragma pack(push, 1)
struct WAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize; // bytes of extra format data that follow
};
#pragma pack(pop)

static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(VIDEOINFOHEADER) == 88);
static_assert(sizeof(VIDEOINFOHEADER2) == 112);
static_assert(sizeof(WAVEFORMATEX) == 18);

// What an output pin asks its connection's allocator for, and what it gets.
struct ALLOCATOR_PROPERTIES {
    long cBuffers = 0;
    long cbBuffer = 0;
    long cbAlign = 0;
    long cbPrefix = 0;
};

} // namespace tq9
