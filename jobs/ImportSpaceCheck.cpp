#include "jobs/ImportSpaceCheck.h"

#include "res/ByteSize.h"

#include "res/MessageCatalogue.h"

#include <cstdio>

#include "media/FFMpegConverter.h"
#include "media/MediaDuration.h"
#include "platform/FileSystem.h"
#include "platform/VolumeLimits.h"

namespace tq9 {

namespace {

// What the converters write (see CFFMpegConverter's rates). The MPEG-4 encoder aims at its bit rate and
// holds the running total within its tolerance of it while its coarsest quantiser suffices: 7 s of busy
// pictures (a fractal zoom, noise scaled down from 1280x720) came out at 4.52-4.53 MB against 4.62 MB
// here, easy ones far below (0.41-0.86 MB). It is no hard ceiling: noise at the full 720x480 needs twice
// the rate at the coarsest quantiser (30 s: 39.6 MB against 19.4 MB). So the most only sizes the figures
// and the largest-file check, the least alone refuses a record, and the placement checks real sizes.
// The MP3 is constant-rate; LAME adds up to about 50 ms of frames at its ends. The MP4 container adds
// about 12 bytes per packet (30 video and 42 audio packets a second) and 1 KB of header.
constexpr double kVideoBytesPerSecond = CFFMpegConverter::kVideoKbps * 1000.0 / 8.0;
constexpr double kVideoToleranceBytes = CFFMpegConverter::kVideoToleranceKbits * 1000.0 / 8.0;
constexpr double kAudioBytesPerSecond = CFFMpegConverter::kAudioKbps * 1000.0 / 8.0;
constexpr double kAudioEndSeconds = 0.05;
constexpr double kContainerBytesPerSecond = (30 + 42) * 16.0;
constexpr double kContainerHeaderBytes = 1024;
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

// A record's files on the card, clusters counted, with its media file at mediaBytes.
uint64_t recordBytes(const CTQ9ImportSystemFile& record, uint64_t mediaBytes, uint64_t cluster)
{
    uint64_t bytes = 0;
    if (record.flags & FILE_MEDIA)
        bytes += roundUp(mediaBytes, cluster);
    if (record.flags & FILE_THUMBNAIL)
        bytes += roundUp(kThumbnailBytes, cluster);
    if (record.flags & FILE_MARKER)
        bytes += roundUp(kMarkerBytes, cluster);
    return bytes;
}

} // namespace

CImportSpaceCheck::EstimateT CImportSpaceCheck::EstimateMedia(const CTQ9ImportSystemFile& record,
                                                              const ConversionSettings& settings)
{
    if (!(record.flags & FILE_MEDIA))
        return {};
    if (record.kind & KIND_COPY) {
        const uint64_t bytes = CFileSystem::FileSize(record.sourcePath).value_or(0);
        return {bytes, bytes};
    }
    if (record.kind & KIND_STILL) {
        // A BMP is exactly the frame; a JPEG at quality 80 stays well under a third of it.
        const bool bmp = record.destMediaPath.size() >= 4 &&
                         record.destMediaPath.compare(record.destMediaPath.size() - 4, 4, ".bmp") == 0;
        return bmp ? EstimateT{frameBytes(settings), frameBytes(settings)} : EstimateT{frameBytes(settings) / 3, 0};
    }
    const double seconds = static_cast<double>(CMediaDuration::Milliseconds(record.sourcePath).value_or(0)) / 1000.0;
    if (seconds <= 0)
        return {};
    const double sound = seconds * kAudioBytesPerSecond;
    double most = (seconds + kAudioEndSeconds) * kAudioBytesPerSecond;
    if (record.kind & KIND_VIDEO)
        most += seconds * (kVideoBytesPerSecond + kContainerBytesPerSecond) + kVideoToleranceBytes +
                kContainerHeaderBytes;
    return {static_cast<uint64_t>(most), static_cast<uint64_t>(sound)};
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
    // In order, as the placement goes: each record is charged its least, so none is refused that the
    // card might still take.
    uint64_t room = space.freeBytes.value_or(UINT64_MAX);
    size_t fitting = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        const CTQ9ImportSystemFile& record = records[i];
        const EstimateT media = EstimateMedia(record, settings);
        // Only a result that is over the largest file even at its least is certain not to land; a video
        // that grows past it is stopped while it converts (OutputBound).
        if (media.least > space.maxFileSize) {
            result.tooLarge.push_back(i);
            continue;
        }
        result.neededBytes += recordBytes(record, media.most, space.clusterBytes);
        const uint64_t least = recordBytes(record, media.least, space.clusterBytes);
        if (least > room) {
            result.noRoom.push_back(i);
            continue;
        }
        room -= least;
        ++fitting;
    }
    if (fitting == 0 && !result.noRoom.empty())
        result.verdict = Verdict::Full;
    return result;
}

CImportSpaceCheck::BoundT CImportSpaceCheck::OutputBound(const std::string& folder,
                                                         const std::vector<CTQ9ImportSystemFile>& records,
                                                         const std::vector<Stage>& before,
                                                         const ConversionSettings& settings)
{
    const CVolumeLimits::SpaceT space = CVolumeLimits::Space(folder);
    BoundT bound;
    if (space.freeBytes) {
        uint64_t taken = 0;
        for (size_t i = 0; i < before.size(); ++i) {
            const CTQ9ImportSystemFile& record = records[i];
            // Working files on the card's own file system have taken their room already (and are
            // renamed into place).
            if (before[i] == Stage::Converted && !CFileSystem::SameFileSystem(folder, record.tempMediaPath))
                taken += recordBytes(record, CFileSystem::FileSize(record.tempMediaPath).value_or(0),
                                     space.clusterBytes);
            else if (before[i] == Stage::Pending)
                taken += recordBytes(record, EstimateMedia(record, settings).least, space.clusterBytes);
        }
        CTQ9ImportSystemFile sidecars = records[before.size()];
        sidecars.flags &= ~FILE_MEDIA;
        taken += recordBytes(sidecars, 0, space.clusterBytes);
        const uint64_t room = *space.freeBytes > taken ? *space.freeBytes - taken : 0;
        bound.bytes = room / space.clusterBytes * space.clusterBytes;
    }
    if (space.maxFileSize != UINT64_MAX && (!bound.bytes || space.maxFileSize < *bound.bytes)) {
        bound.bytes = space.maxFileSize;
        bound.largestFile = true;
    }
    return bound;
}

std::string CImportSpaceCheck::Figures(uint64_t neededBytes, uint64_t freeBytes)
{
    return FormatText(CMessageCatalogue::Get(IDS_SPACE_NEEDED), CByteSize::Text(neededBytes)) + " " +
           FormatText(CMessageCatalogue::Get(IDS_SPACE_FREE), CByteSize::Text(freeBytes));
}

} // namespace tq9
