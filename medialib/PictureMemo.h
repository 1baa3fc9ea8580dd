// Internal to the media library: the pictures a thumbnail will ask for, kept from the conversion that
// decoded them. An import converts a recording and then takes its thumbnail from the same source: the first
// picture, or the first at 5 s for longer recordings. Decoding the source again up to there is most of the
// thumbnail's cost, so a conversion keeps a reference to those two pictures (nothing is copied) and a later
// thumbnail of the unchanged file (same device, inode, size and modification time) starts from them. The
// pictures are the decoder's own, so the thumbnail is the same as one decoded afresh.
//
// Process-wide, under a lock; holds the pictures of one source at a time, until its thumbnail is taken or
// the next conversion starts.
#pragma once

#include "medialib/Ffmpeg.h"

#include <mutex>
#include <string>

namespace tq9media {

class PictureMemo {
public:
    // Where the converter takes thumbnails of recordings longer than that (its "-ss 5").
    static constexpr int64_t kThumbnailTimeUs = 5000000;

    static PictureMemo& Instance();

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

    std::mutex m_lock;
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
