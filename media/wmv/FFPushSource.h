// The source filter of the WMV export: opens a media file with the media library's decoding API and
// pushes its first video stream as YV12 pictures out of "V Out" and its first audio stream as 16-bit PCM
// out of "A Out", each pin on its own streaming thread. A file needs both streams to load.
//
// Packets are read from the file by whichever pin needs one, under the queue lock; packets of the other
// stream wait in that stream's queue, packets of any third stream are dropped. The queue of the stream not
// being read is bounded: when it is full, the reading pin waits for the other pin to take packets, so a
// long file never piles up in memory. A pin that has stopped taking packets has its queue emptied and
// receives no more.
//
// Threads: Load and the accessors on the converter's thread before the graph runs; NextPacket, PinFinished
// and the seeking position on the streaming threads. Lock order: a pin's own state, then the queue lock;
// the state lock only around loading and media-type negotiation.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "medialib/tq9media.h"
#include "media/wmv/FFPacket.h"
#include "platform/streaming/Source.h"
#include "platform/streaming/SourceSeeking.h"

namespace tq9 {

class CFFPushSource : public CSource, public CSourceSeeking {
public:
    static constexpr int kVideo = 0;
    static constexpr int kAudio = 1;
    // Bytes of one audio sample buffer.
    static constexpr long kAudioBufferSize = 192000;
    // Bound of the queue of the stream that is not being read. The sound runs ahead of the pictures by what
    // the pictures' queue holds: 1 MB is 1.5 s of a 5 Mbit/s recording, plenty for the writer to interleave,
    // where 4 MB kept 3 MB more in memory for nothing.
    static constexpr size_t kMaxQueuedPackets = 256;
    static constexpr size_t kMaxQueuedBytes = 1u << 20;

    CFFPushSource();
    ~CFFPushSource() override;

    // Opens path (UTF-8) and creates the two pins. E_POINTER without a path, E_FAIL when already loaded,
    // when the file cannot be opened, or when it has no video or no audio stream; E_OUTOFMEMORY when a
    // decoder cannot be opened. LastError says which.
    HRESULT Load(const char* path, const CMediaType* type);
    // The loaded path and the media type given to Load (a stream type when none was given).
    HRESULT GetCurFile(std::string* name, CMediaType* type);
    std::string LastError() const;

    // What the converter reads once loaded.
    int VideoWidth() const { return m_videoInfo.width; }
    int VideoHeight() const { return m_videoInfo.height; }
    // The picture's display aspect, reduced: from the declared pixel shape, else the pixel size (square).
    void DisplayAspect(uint32_t& x, uint32_t& y) const;
    int64_t AudioBitRate() const { return m_audioInfo.bitRate; }
    int AudioSampleRate() const { return m_audioInfo.sampleRate; }
    int AudioChannels() const { return m_audioInfo.channels > 0 ? m_audioInfo.channels : 2; }

    // What the pins use.
    Tq9MediaFile* File() const { return m_file.get(); }
    int StreamIndex(int which) const { return which == kVideo ? m_videoStream : m_audioStream; }
    // Bytes of one YV12 picture: luma plus two chroma planes of half the size (rounded up).
    long PictureSize() const;
    // Nominal length of one picture (from the first video packet, else the stream's time base); 0 unknown.
    int64_t FrameDurationUs() const { return m_frameDurationUs; }
    // The state lock, held while a pin's media type is negotiated.
    std::mutex& StateLock() { return m_stateLock; }

    // The next packet of a pin's stream, reading from the file as needed. S_OK with a packet; S_FALSE at
    // the end of the file; E_FAIL when the file cannot be read further; VFW_E_WRONG_STATE once stopping.
    std::unique_ptr<CFFPacket> NextPacket(int which, HRESULT& status);
    // The pin takes no more packets (its stream ended, failed or was stopped).
    void PinFinished(int which);
    // Packets waiting in a pin's queue (tests, diagnostics).
    size_t QueuedPackets(int which);
    // The start time of the last picture delivered, for GetCurrentPosition.
    void RecordPosition(REFERENCE_TIME start) { SetCurrentPosition(start); }
    // A pin delivered a sample covering [startUs, endUs).
    void RecordSample(int64_t startUs, int64_t endUs);
    // Microseconds from the first sample delivered to the end of the last, over both pins: how much of the
    // file could be decoded. 0 before any sample.
    int64_t DeliveredUs() const;
    // The longer of the two streams' lengths as the file declares them (its index), else the file's
    // duration; 0 when unknown. A recording cut short (a flat battery) declares more than it holds.
    int64_t DeclaredUs() const;

    HRESULT Run() override;

    // A codec time base whose numerator is above 1000 with a denominator of 1 is a frame period written
    // in milliseconds: the denominator becomes 1000.
    static void CorrectTimeBase(int& num, int& den);

protected:
    void WakeForStop() override;

private:
    struct FileCloser {
        void operator()(Tq9MediaFile* file) const { Tq9MediaClose(file); }
    };
    HRESULT Fail(HRESULT status, const std::string& why);
    // Finds the stream of kind (named what in messages), opens its decoder and reads its info.
    HRESULT OpenStream(int kind, const char* what, int& index, Tq9MediaStreamInfo& info);
    // Reads one packet into its queue; false at the end of the file or on a read error. Queue lock held.
    bool ReadOnePacket();
    bool QueueFull(int which) const;
    void LearnFrameDuration();

    mutable std::mutex m_stateLock;
    std::string m_path;
    CMediaType m_loadType;
    std::string m_lastError; // guarded by m_stateLock
    std::unique_ptr<Tq9MediaFile, FileCloser> m_file;
    int m_videoStream = -1;
    int m_audioStream = -1;
    Tq9MediaStreamInfo m_videoInfo{};
    Tq9MediaStreamInfo m_audioInfo{};
    int64_t m_frameDurationUs = 0;
    std::atomic<int64_t> m_firstStartUs{INT64_MAX};
    std::atomic<int64_t> m_lastEndUs{INT64_MIN};

    std::mutex m_queueLock; // guards everything below
    std::condition_variable m_queueChanged;
    std::deque<std::unique_ptr<CFFPacket>> m_queues[2];
    size_t m_queuedBytes[2] = {0, 0};
    bool m_consuming[2] = {true, true};
    int64_t m_nextPtsUs[2] = {TQ9_MEDIA_TIME_NONE, TQ9_MEDIA_TIME_NONE};
    bool m_endOfFile = false;
    HRESULT m_readStatus = S_FALSE;
    bool m_stopping = false;
};

} // namespace tq9
