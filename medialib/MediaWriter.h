// Internal to the media library: the object behind the writer API's Tq9MediaWriter handle. Encodes pictures
// with wmv2 and sounds with wmav2 into the ASF muxer. The video caller's pictures are coded by a group
// encoder (one wmv2 instance per CPU, see GroupEncoder.h); audio runs on its caller's thread. Each side
// touches only its own encoders, and the output file serialises the muxer. A writer that is destroyed
// without a successful Close removes its file.
#pragma once

#include "medialib/AudioChain.h"
#include "medialib/GroupEncoder.h"
#include "medialib/OutputFile.h"
#include "medialib/Reporter.h"
#include "medialib/tq9media.h"

#include <atomic>

namespace tq9media {

class MediaWriter {
public:
    // Checks the settings, opens both encoders, creates the file and writes the header.
    MediaWriter(const std::string& path, const Tq9WriterSettings& settings);
    ~MediaWriter();
    MediaWriter(const MediaWriter&) = delete;
    MediaWriter& operator=(const MediaWriter&) = delete;

    // Each returns 0 or the status of the first failure; after a failure every call fails with it.
    int Video(const uint8_t* const planes[3], const int lineSizes[3], int64_t ptsUs);
    int Audio(const int16_t* samples, int frames, int64_t ptsUs);
    int Close();

private:
    // One of the encoders that code the pictures in turns.
    CodecContextPtr OpenVideoEncoder(const Tq9WriterSettings& settings);
    void PushAudio(const int16_t* samples, int frames, int64_t ptsUs);
    template <typename F>
    int Run(F&& f);

    std::string m_path;
    std::unique_ptr<OutputFile> m_out;
    bool m_created = false; // the file was (re)created: it is ours to remove unless Close succeeds
    bool m_committed = false;
    std::atomic<int> m_error{0};

    // Video: the caller's thread of Video(); the group encoder's sink writes from its workers.
    std::unique_ptr<GroupEncoder> m_video;
    AVRational m_videoTimeBase{};
    int m_videoStream = -1;
    FramePtr m_picture = MakeFrame(); // the caller's planes, copied by the group encoder
    int64_t m_lastTick = -1;
    AVRational m_declaredRate{0, 0}; // the frame rate the file declares; 0/0 when the source gave none

    // Audio: the caller's thread of Audio(). The chain re-frames to the encoder's frame size.
    Reporter m_audioReporter{nullptr, nullptr};
    std::unique_ptr<AudioChain> m_audio;
    AVChannelLayout m_audioLayout{};
    int m_sampleRate = 0;
    bool m_audioStarted = false;
};

} // namespace tq9media
