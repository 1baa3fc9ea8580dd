#include "card/CardLayout.h"

#include "res/ByteSize.h"

#include <cstdio>

#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "res/MessageCatalogue.h"

namespace tq9 {

std::string CCardLayout::DeviceFolder(const std::string& root)
{
    if (!root.empty() && root.back() == '/')
        return root + layout::kDeviceFolder;
    return root + "/" + layout::kDeviceFolder;
}

std::string CCardLayout::MarkerPath(const std::string& deviceFolder)
{
    return deviceFolder + layout::kMarkerSuffix;
}

std::string CCardLayout::NumberedFolderName(int n)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, layout::kNumberedFolderFormat, n);
    return buf;
}

std::string CCardLayout::MediaPath(const std::string& folder, const std::string& base, const std::string& ext)
{
    return folder + "/" + base + "." + ext;
}

std::string CCardLayout::ThumbnailPath(const std::string& folder, const std::string& base)
{
    return MediaPath(folder, base, "thm");
}

std::string CCardLayout::MarkerFilePath(const std::string& folder, const std::string& base)
{
    return MediaPath(folder, base, "mrk");
}

bool CCardLayout::IsCard(const std::string& root)
{
    const std::string device = DeviceFolder(root);
    if (!IsCardFolderEntry(device) || !IsCardFileEntry(MarkerPath(device)))
        return false;
    const uint32_t marker = CFileAttributes::Get(MarkerPath(device));
    return marker != INVALID_FILE_ATTRIBUTES && (marker & FILE_ATTRIBUTE_HIDDEN);
}

bool CCardLayout::IsCardFolderEntry(const std::string& path)
{
    return CFileAttributes::KindOf(path) == EntryKind::Directory;
}

bool CCardLayout::IsCardFileEntry(const std::string& path)
{
    return CFileAttributes::KindOf(path) == EntryKind::Regular;
}

std::string CCardLayout::GroupThousands(uint64_t value)
{
    // Built forwards: inserting into the digits made GCC 12 at -O3 see an overlapping copy (-Wrestrict).
    const std::string digits = std::to_string(value);
    std::string grouped;
    grouped.reserve(digits.size() + digits.size() / 3);
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

std::string CCardLayout::RemainingSpaceText(uint64_t freeBytes)
{
    return FormatText(CMessageCatalogue::Get(IDS_FREE_SPACE), CByteSize::Text(freeBytes));
}

std::string CCardLayout::RemainingSpaceText(const std::string& path)
{
    return RemainingSpaceText(CFileSystem::FreeBytes(path).value_or(0));
}

void CCardLayout::EncodeMarker(uint32_t seconds, unsigned char out[4])
{
    out[0] = static_cast<unsigned char>(seconds >> 24);
    out[1] = static_cast<unsigned char>(seconds >> 16);
    out[2] = static_cast<unsigned char>(seconds >> 8);
    out[3] = static_cast<unsigned char>(seconds);
}

uint32_t CCardLayout::DecodeMarker(const unsigned char in[4])
{
    return (uint32_t(in[0]) << 24) | (uint32_t(in[1]) << 16) | (uint32_t(in[2]) << 8) | uint32_t(in[3]);
}

bool CCardLayout::HasRoomFor(size_t listed, size_t adding)
{
    return listed + adding <= static_cast<size_t>(layout::kMaxFilesPerFolder);
}

} // namespace tq9
