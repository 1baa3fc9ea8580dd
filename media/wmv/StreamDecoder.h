// The middle stage of the WMV export, one per stream: feeds the stream's decoder with the reader's packets
// until it gives a picture or a stretch of sound, drains it at the end of the file, and times what it
// gives. A picture or a sound without a time of its own follows the one before it.
//
// Threads: one stream thread calls everything after construction (the library lets each decoder run on
// its own thread while another reads packets). The frame points into the decoder's buffers until the
// next call.
#pragma once

#include <cstdint>
#include <vector>

#include "media/wmv/ExportReader.h"

namespace tq9 {

struct DecodedFrame {
    Tq9MediaPicture picture{}; // the video stream's
    Tq9MediaSound sound{};     // the audio stream's
    int64_t startUs = 0;
    int64_t endUs = 0;
};

class CStreamDecoder {
public:
    // The library's status for data a decoder cannot make sense of (FFmpeg's AVERROR_INVALIDDATA).
    static constexpr int kInvalidData = -1094995529;
    // A change of picture size, rate or channels in the middle of the stream, which the WMV cannot follow.
    static constexpr int kFormatChanged = -22;

    CStreamDecoder(CExportReader& reader, int which);

    // The next frame: 0 with one; TQ9_MEDIA_EOF when the stream is over; the reader's or the decoder's
    // status when it cannot go on (CExportReader::kStopped after a stop).
    int Next(DecodedFrame& frame);

private:
    int Receive(DecodedFrame& frame);
    int ReceivePicture(DecodedFrame& frame);
    int ReceiveSound(DecodedFrame& frame);

    CExportReader& m_reader;
    const int m_which;
    const Tq9MediaStreamInfo& m_info;
    int64_t m_frameUs;      // one picture's length at the nominal rate; 0 unknown
    int64_t m_nextUs = 0;   // where a frame without a time of its own starts
    bool m_drained = false;
};

} // namespace tq9
