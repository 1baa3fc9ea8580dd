// The media library's side of Tq9PictureMemo (see tq9media.h): the pictures a thumbnail will ask for, kept
// from the conversion that decoded them, for a later thumbnail of the unchanged file (same device, inode,
// size and modification time).
//
// Owned by the caller of TranscodeWithMemo and used by one run at a time, on that run's thread; holds the
// pictures of one source, until its thumbnail is taken or the next conversion with it starts.
#pragma once

#include "medialib/Ffmpeg.h"
#include "medialib/tq9media.h"

#include <string>

namespace tq9media {

class PictureMemo {
public:
    // Where the converter takes thumbnails of recordings longer than that (its "-ss 5").
    static constexpr int64_t kThumbnailTimeUs = 5000000;

    // A conversion of path starts: what was kept of any source is dropped. originUs: the input's start;
    // timeBase: the video stream's; durationUs: the input's (only a recording of up to 5 s has its first
    // picture as thumbnail, so only then is that kept). False when the file cannot be identified.
    bool Begin(const std::string& path, int64_t originUs, AVRational timeBase, int64_t durationUs);
    // Each decoded picture of that conversion, in the decoder's order, with its time in the stream's time
    // base. A picture without a time ends the keeping (a thumbnail would place it differently).
    void Offer(const AVFrame* frame, int64_t ts);

    // The picture a thumbnail starting startUs after the input's start would take first, with its time in
    // the video stream's time base; null when none is kept for this file and time. Everything kept is let
    // go then: a recording gets one thumbnail.
    FramePtr Find(const std::string& path, int64_t startUs, AVRational timeBase, int64_t* ts);

private:
    struct Identity {
        std::string path;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        int64_t modifiedNs = 0;
        bool operator==(const Identity&) const = default;
    };
    static bool Identify(const std::string& path, Identity* id);
    void Clear();

    Identity m_source;
    bool m_recording = false;
    bool m_keepFirst = false;
    int64_t m_thumbnailTs = 0; // pictures from here on are at or after kThumbnailTimeUs
    AVRational m_timeBase{0, 1};
    FramePtr m_first; // the first picture decoded
    FramePtr m_atThumbnailTime; // the first decoded at or after kThumbnailTimeUs
    int64_t m_firstTs = 0, m_keptThumbnailTs = 0;
};

} // namespace tq9media

// The handle of the C interface is the memo itself.
struct Tq9PictureMemo : tq9media::PictureMemo {};
