#include "jobs/ImportSpaceCheck.h"

#include "res/ByteSize.h"

#include "res/MessageCatalogue.h"

#include <cstdio>

#include "media/MediaDuration.h"
#include "platform/FileSystem.h"
#include "platform/VolumeLimits.h"

namespace tq9 {

namespace {

// What the converters write: 5000 kbit/s MPEG-4 video with 128 kbit/s MP3, or 128 kbit/s MP3 alone, plus
// a little for the container.
constexpr double kVideoBytesPerSecond = (5000.0 + 128.0) * 1000.0 / 8.0;
constexpr double kAudioBytesPerSecond = 128.0 * 1000.0 / 8.0;
constexpr double kContainerMargin = 1.02;
constexpr uint64_t kThumbnailBytes = 54 + 48 * 36 * 3; // 24-bit BMP
constexpr uint64_t kMarkerBytes = 4;

uint64_t frameBytes(const ConversionSettings& settings)
{
    return 54 + 720ull * (settings.NTSC ? 480 : 576) * 3; // a 24-bit BMP of the full frame
}

uint64_t roundUp(uint64_t bytes, uint64_t cluster)
{
    // Even an empty file takes a directory entry; a cluster is the honest price of any file.
    return bytes == 0 ? cluster : (bytes + cluster - 1) / cluster * cluster;
}

} // namespace

uint64_t CImportSpaceCheck::EstimateMediaBytes(const CTQ9ImportSystemFile& record, const ConversionSettings& settings)
{
    if (!(record.flags & FILE_MEDIA))
        return 0;
    if (record.kind & KIND_COPY)
        return CFileSystem::FileSize(record.sourcePath).value_or(0);
    if (record.kind & KIND_STILL) {
        // A BMP is exactly the frame; a JPEG at quality 80 stays well under a third of it.
        const bool bmp = record.destMediaPath.size() >= 4 &&
                         record.destMediaPath.compare(record.destMediaPath.size() - 4, 4, ".bmp") == 0;
        return bmp ? frameBytes(settings) : frameBytes(settings) / 3;
    }
    const double seconds = static_cast<double>(CMediaDuration::Milliseconds(record.sourcePath).value_or(0)) / 1000.0;
    const double rate = (record.kind & KIND_VIDEO) ? kVideoBytesPerSecond : kAudioBytesPerSecond;
    return static_cast<uint64_t>(seconds * rate * kContainerMargin);
}

CImportSpaceCheck::ResultT CImportSpaceCheck::Check(const std::string& folder,
                                                    const std::vector<CTQ9ImportSystemFile>& records,
                                                    const ConversionSettings& settings)
{
    ResultT result;
    const CVolumeLimits::SpaceT space = CVolumeLimits::Space(folder);
    result.freeBytes = space.freeBytes;
    if (!space.writable) {
        result.verdict = Verdict::ReadOnly;
        return result;
    }
    for (size_t i = 0; i < records.size(); ++i) {
        const CTQ9ImportSystemFile& record = records[i];
        const uint64_t media = EstimateMediaBytes(record, settings);
        if (media > space.maxFileSize) {
            result.tooLarge.push_back(i);
            continue;
        }
        if (record.flags & FILE_MEDIA)
            result.neededBytes += roundUp(media, space.clusterBytes);
        if (record.flags & FILE_THUMBNAIL)
            result.neededBytes += roundUp(kThumbnailBytes, space.clusterBytes);
        if (record.flags & FILE_MARKER)
            result.neededBytes += roundUp(kMarkerBytes, space.clusterBytes);
    }
    if (result.freeBytes && result.neededBytes > *result.freeBytes)
        result.verdict = Verdict::Full;
    return result;
}

std::string CImportSpaceCheck::Figures(uint64_t neededBytes, uint64_t freeBytes)
{
    return FormatText(CMessageCatalogue::Get(IDS_SPACE_NEEDED), CByteSize::Text(neededBytes)) + " " +
           FormatText(CMessageCatalogue::Get(IDS_SPACE_FREE), CByteSize::Text(freeBytes));
}

} // namespace tq9
