// The first stage of the WMV export: reads the recording with the media library's decoding API. Open finds
// the first video and the first audio stream (a recording needs both) and opens their decoders; then each
// stream's decoder takes its packets with NextPacket, on its own thread.
//
// Packets are read from the file by whichever stream needs one; packets of the other stream wait in that
// stream's queue, packets of any third stream are dropped. The queue of the stream not being read is
// bounded: when it is full, the reading stream waits for the other to take packets. So sound and pictures
// stay within that bound of each other (1 MB of pictures is 1.5 s of a 5 Mbit/s recording, plenty for the
// writer to interleave) and a long file never piles up in memory. A stream that takes no more packets
// (Finish) has its queue emptied and receives none.
//
// Threads: Open and the stream accessors on the converter's thread before the streams run; NextPacket and
// Finish on the streams' threads; Stop on any. m_lock guards the queues and the reading state below it;
// the file's reading part is used only under it.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "media/wmv/ExportOutcome.h"
#include "media/wmv/FFPacket.h"
#include "medialib/tq9media.h"

namespace tq9 {

class CExportReader {
public:
    static constexpr int kVideo = 0;
    static constexpr int kAudio = 1;
    static constexpr size_t kMaxQueuedPackets = 256;
    static constexpr size_t kMaxQueuedBytes = 1u << 20;
    // NextPacket's status once Stop was called.
    static constexpr int kStopped = -1000001;

    // Opens path (UTF-8) and both decoders; an outcome of cause NotMedia says why not.
    ExportOutcome Open(const std::string& path);

    Tq9MediaFile* File() const { return m_file.get(); }
    int StreamIndex(int which) const { return m_index[which]; }
    const Tq9MediaStreamInfo& Info(int which) const { return m_info[which]; }
    // The file's duration, 0 when unknown.
    int64_t DurationUs() const;
    // The longer of the two streams' lengths as the file declares them (its index), else the file's
    // duration; 0 when unknown. A recording cut short (a flat battery) declares more than it holds.
    int64_t DeclaredUs() const;

    // The next packet of a stream: status 0 with a packet; TQ9_MEDIA_EOF at the end of the file; the
    // library's status when the file cannot be read further; kStopped after Stop.
    std::unique_ptr<CFFPacket> NextPacket(int which, int& status);
    // The stream takes no more packets (it ended, failed or was stopped).
    void Finish(int which);
    // Every NextPacket returns kStopped from now on, waiting ones at once.
    void Stop();
    // Packets waiting in a stream's queue (tests).
    size_t QueuedPackets(int which);

private:
    struct FileCloser {
        void operator()(Tq9MediaFile* file) const { Tq9MediaClose(file); }
    };
    ExportOutcome OpenStream(int which, int kind, const char* what);
    // Reads one packet into its queue; false at the end of the file or on a read error. m_lock held.
    bool ReadOnePacket();
    bool QueueFull(int which) const;

    std::unique_ptr<Tq9MediaFile, FileCloser> m_file;
    int m_index[2] = {-1, -1};
    Tq9MediaStreamInfo m_info[2]{};

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<std::unique_ptr<CFFPacket>> m_queues[2];
    size_t m_queuedBytes[2] = {0, 0};
    bool m_taking[2] = {true, true};
    int64_t m_nextPtsUs[2] = {TQ9_MEDIA_TIME_NONE, TQ9_MEDIA_TIME_NONE};
    bool m_endOfFile = false;
    int m_readStatus = TQ9_MEDIA_EOF;
    bool m_stopping = false;
};

} // namespace tq9
