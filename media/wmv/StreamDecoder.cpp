#include "media/wmv/StreamDecoder.h"

namespace tq9 {

CStreamDecoder::CStreamDecoder(CExportReader& reader, int which)
    : m_reader(reader), m_which(which), m_info(reader.Info(which)),
      m_frameUs(m_info.frameRateNum > 0 && m_info.frameRateDen > 0
                    ? static_cast<int64_t>(m_info.frameRateDen) * 1000000 / m_info.frameRateNum
                    : 0)
{
}

int CStreamDecoder::Next(DecodedFrame& frame)
{
    Tq9MediaFile* file = m_reader.File();
    for (;;) {
        const int rc = Receive(frame);
        if (rc != TQ9_MEDIA_AGAIN || m_drained)
            return rc;
        int status = 0;
        const std::unique_ptr<CFFPacket> packet = m_reader.NextPacket(m_which, status);
        if (!packet) {
            if (status != TQ9_MEDIA_EOF)
                return status; // a read error, or a stop
            Tq9MediaSendEnd(file, m_reader.StreamIndex(m_which));
            m_drained = true;
            continue;
        }
        const int sent = Tq9MediaSendPacket(file, packet->Get());
        // A packet that does not decode is skipped, as the device's own conversion does; anything else ends it.
        if (sent < 0 && sent != TQ9_MEDIA_AGAIN && sent != kInvalidData)
            return sent;
    }
}

int CStreamDecoder::Receive(DecodedFrame& frame)
{
    return m_which == CExportReader::kVideo ? ReceivePicture(frame) : ReceiveSound(frame);
}

int CStreamDecoder::ReceivePicture(DecodedFrame& frame)
{
    Tq9MediaPicture& picture = frame.picture;
    const int rc = Tq9MediaReceivePicture(m_reader.File(), m_reader.StreamIndex(m_which), &picture);
    if (rc != 0)
        return rc;
    if (picture.width != m_info.width || picture.height != m_info.height)
        return kFormatChanged;
    frame.startUs = picture.ptsUs != TQ9_MEDIA_TIME_NONE ? picture.ptsUs : m_nextUs;
    frame.endUs = m_nextUs = frame.startUs + (picture.durationUs > 0 ? picture.durationUs : m_frameUs);
    return 0;
}

int CStreamDecoder::ReceiveSound(DecodedFrame& frame)
{
    Tq9MediaSound& sound = frame.sound;
    int rc;
    // A decoding step that yields no sound (the resampler still filling) is no frame.
    do
        rc = Tq9MediaReceiveSound(m_reader.File(), m_reader.StreamIndex(m_which), &sound);
    while (rc == 0 && sound.frames == 0);
    if (rc != 0)
        return rc;
    const int channels = m_info.channels > 0 ? m_info.channels : 2;
    if (sound.channels != channels || sound.sampleRate != m_info.sampleRate)
        return kFormatChanged;
    frame.startUs = sound.ptsUs != TQ9_MEDIA_TIME_NONE ? sound.ptsUs : m_nextUs;
    frame.endUs = m_nextUs = frame.startUs + static_cast<int64_t>(sound.frames) * 1000000 / sound.sampleRate;
    return 0;
}

} // namespace tq9
