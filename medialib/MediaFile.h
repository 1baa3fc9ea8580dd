// Internal to the media library: the object behind the decoding API's Tq9MediaFile handle. Owns the input,
// one decoder per opened stream with its conversion (swscale to YUV 4:2:0, swresample to 16-bit) and the
// buffers the last picture or sound lives in. The reader and each stream's decoder are separate parts
// (see tq9media.h for which calls may overlap); nothing here is shared between parts.
#pragma once

#include "medialib/Ffmpeg.h"
#include "medialib/InputGuard.h"
#include "medialib/Resampler.h"
#include "medialib/tq9media.h"

#include <vector>

namespace tq9media {

class MediaFile {
public:
    explicit MediaFile(const std::string& path);
    ~MediaFile();
    MediaFile(const MediaFile&) = delete;
    MediaFile& operator=(const MediaFile&) = delete;

    int StreamCount() const { return static_cast<int>(m_input->nb_streams); }
    void GetInfo(int stream, Tq9MediaStreamInfo* info) const;
    int64_t DurationUs() const;
    int FindStream(int type) const;
    void OpenDecoder(int stream);
    int Read(AVPacket* packet);
    int Send(int stream, const AVPacket* packet);
    int ReceivePicture(int stream, Tq9MediaPicture* picture);
    int ReceiveSound(int stream, Tq9MediaSound* sound);
    AVRational TimeBase(int stream) const { return m_input->streams[stream]->time_base; }

private:
    struct Decoder {
        CodecContextPtr codec;
        FramePtr frame = MakeFrame();
        bool drained = false;
        // video
        SwsPtr sws;
        int swsWidth = 0, swsHeight = 0, swsFormat = -1;
        FramePtr picture; // YUV 4:2:0 at the announced size, when the decoder's own frame is not
        // audio: 16-bit interleaved at the announced rate, made at the first frame
        std::unique_ptr<Resampler> resampler;
    };
    Decoder& Get(int stream, AVMediaType type);
    int64_t ToUs(int stream, int64_t ts) const;
    int ConvertSound(int stream, Decoder& d, const AVFrame* frame, Tq9MediaSound* sound);

    InputGuard m_guard; // a tail without packets ends the input; outlives m_input
    InputContextPtr m_input;
    std::vector<std::unique_ptr<Decoder>> m_decoders; // by container index; null until opened
};

} // namespace tq9media
