#include "medialib/AsfFrameRate.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace tq9media {

namespace {

using Guid = uint8_t[16];

// Object identifiers in the order their bytes stand in the file.
constexpr Guid kHeaderObject = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr Guid kHeaderExtension = {0xB5, 0x03, 0xBF, 0x5F, 0x2E, 0xA9, 0xCF, 0x11,
                                   0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
constexpr Guid kLanguageList = {0xA9, 0x46, 0x43, 0x7C, 0xE0, 0xEF, 0xFC, 0x4B,
                                0xB2, 0x29, 0x39, 0x3E, 0xDE, 0x41, 0x5C, 0x85};
constexpr Guid kExtendedStreamProperties = {0xCB, 0xA5, 0xE6, 0x14, 0x72, 0xC6, 0x32, 0x43,
                                            0x83, 0x99, 0xA9, 0x69, 0x52, 0x06, 0x5B, 0x5A};
constexpr Guid kPadding = {0x74, 0xD4, 0x06, 0x18, 0xDF, 0xCA, 0x09, 0x45,
                           0xA4, 0xBA, 0x9A, 0xAB, 0xCB, 0x96, 0xAA, 0xE8};

constexpr size_t kObjectHead = 24;        // identifier and 64-bit size
constexpr size_t kHeaderObjectHead = 30;  // plus object count and two reserved bytes
constexpr size_t kExtensionHead = 46;     // plus a reserved identifier, a reserved word and the data size
constexpr size_t kStreamNumberAt = 72;    // in the Extended Stream Properties object
constexpr size_t kTimePerFrameAt = 76;
constexpr size_t kStreamPropertiesSize = 88; // without stream names or payload extensions
constexpr uint64_t kMaxHeader = 1 << 20;

uint64_t Le(const std::vector<uint8_t>& b, size_t at, int bytes)
{
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | b[at + static_cast<size_t>(i)];
    return v;
}

bool Is(const std::vector<uint8_t>& b, size_t at, const Guid& guid)
{
    return std::memcmp(b.data() + at, guid, sizeof(Guid)) == 0;
}

// Calls f(at, size) for each object in [begin, end); false when an object's size runs past end.
template <typename F>
bool ForEachObject(const std::vector<uint8_t>& b, size_t begin, size_t end, F&& f)
{
    for (size_t at = begin; at < end;) {
        if (end - at < kObjectHead)
            return false;
        const uint64_t size = Le(b, at + 16, 8);
        if (size < kObjectHead || size > end - at)
            return false;
        f(at, static_cast<size_t>(size));
        at += static_cast<size_t>(size);
    }
    return true;
}

bool ReadAll(int fd, std::vector<uint8_t>& b)
{
    return ::pread(fd, b.data(), b.size(), 0) == static_cast<ssize_t>(b.size());
}

} // namespace

bool FillAsfFrameRate(const std::string& path, int streamNumber, AVRational frameRate)
{
    if (frameRate.num <= 0 || frameRate.den <= 0)
        return false;
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    std::vector<uint8_t> b(kHeaderObjectHead);
    if (ReadAll(fd, b) && Is(b, 0, kHeaderObject)) {
        const uint64_t headerSize = Le(b, 16, 8);
        if (headerSize > kHeaderObjectHead && headerSize <= kMaxHeader) {
            b.resize(static_cast<size_t>(headerSize));
            size_t language = 0, languageSize = 0, properties = 0;
            bool wellFormed = ReadAll(fd, b);
            wellFormed = wellFormed && ForEachObject(b, kHeaderObjectHead, b.size(), [&](size_t at, size_t size) {
                if (!Is(b, at, kHeaderExtension) || size < kExtensionHead)
                    return;
                const uint64_t dataSize = Le(b, at + 42, 4);
                if (dataSize > size - kExtensionHead) {
                    wellFormed = false;
                    return;
                }
                const size_t begin = at + kExtensionHead;
                wellFormed = wellFormed && ForEachObject(b, begin, begin + dataSize, [&](size_t inner, size_t innerSize) {
                    if (Is(b, inner, kLanguageList) && innerSize > kObjectHead + 2 && Le(b, inner + 24, 2) == 1) {
                        language = inner;
                        languageSize = innerSize;
                    } else if (Is(b, inner, kExtendedStreamProperties) && innerSize >= kStreamPropertiesSize &&
                               Le(b, inner + kStreamNumberAt, 2) == static_cast<uint64_t>(streamNumber)) {
                        properties = inner;
                    }
                });
            });
            if (wellFormed && language && properties) {
                // 100-ns units per frame: 333667 for 30000/1001.
                const int64_t period = av_rescale(10000000, frameRate.den, frameRate.num);
                for (int i = 0; i < 8; ++i)
                    b[properties + kTimePerFrameAt + static_cast<size_t>(i)] = static_cast<uint8_t>(period >> (8 * i));
                std::memcpy(b.data() + language, kPadding, sizeof(Guid));
                std::memset(b.data() + language + kObjectHead, 0, languageSize - kObjectHead);
                const int error = ::pwrite(fd, b.data(), b.size(), 0) == static_cast<ssize_t>(b.size()) ? 0 : errno;
                ::close(fd);
                if (error)
                    throw MediaError(AVERROR(error ? error : EIO), "write the frame rate");
                return true;
            }
        }
    }
    ::close(fd);
    return false;
}

} // namespace tq9media
