#include "media/wmv/FFPushAudioPin.h"

#include <algorithm>
#include <cstring>

namespace tq9 {

namespace {

// A change of rate or channels in the middle of the stream, which the connection cannot follow.
constexpr int kFormatChanged = -22;

} // namespace

void CFFPushAudioPin::ProposeType(CMediaType& type)
{
    const auto channels = static_cast<uint16_t>(m_source.AudioChannels());
    const auto rate = static_cast<uint32_t>(m_source.AudioSampleRate());
    type.majorType = MajorType::Audio;
    type.subType = SubType::PCM;
    type.temporalCompression = false;
    type.sampleSize = channels * rate * 2;
    const WAVEFORMATEX wfx{kWaveFormatPcm, channels, rate, channels * rate * 2, static_cast<uint16_t>(channels * 2),
                           16, 0};
    type.SetFormat(FormatType::WaveFormatEx, wfx);
}

HRESULT CFFPushAudioPin::CheckMediaType(const CMediaType* type)
{
    if (!type)
        return E_POINTER;
    WAVEFORMATEX wfx;
    if (type->majorType != MajorType::Audio || !type->fixedSizeSamples || type->subType != SubType::PCM ||
        type->formatType != FormatType::WaveFormatEx || !type->GetFormat(wfx))
        return E_INVALIDARG;
    if (wfx.nChannels != m_source.AudioChannels() || static_cast<int>(wfx.nSamplesPerSec) != m_source.AudioSampleRate() ||
        wfx.wBitsPerSample != 16)
        return E_INVALIDARG;
    return S_OK;
}

HRESULT CFFPushAudioPin::DecideBufferSize(CMemAllocator& allocator, ALLOCATOR_PROPERTIES& request)
{
    return RequestOneBuffer(allocator, request, CFFPushSource::kAudioBufferSize);
}

int CFFPushAudioPin::ReceiveFrame()
{
    Tq9MediaSound sound{};
    int rc;
    // A decoding step that yields no sound (the resampler still filling) is no frame.
    do
        rc = Tq9MediaReceiveSound(m_source.File(), m_source.StreamIndex(m_which), &sound);
    while (rc == 0 && sound.frames == 0);
    if (rc != 0)
        return rc;
    if (sound.channels != m_source.AudioChannels() || sound.sampleRate != m_source.AudioSampleRate())
        return kFormatChanged;
    // Sound without a time follows the sound before it.
    if (sound.ptsUs != TQ9_MEDIA_TIME_NONE)
        m_pendingStartUs = sound.ptsUs;
    m_pending.assign(sound.samples, sound.samples + static_cast<size_t>(sound.frames) * sound.channels);
    m_pendingOffset = 0;
    return 0;
}

HRESULT CFFPushAudioPin::FillBuffer(CMediaSample& sample)
{
    if (m_pendingOffset >= m_pending.size()) {
        const HRESULT decoded = DecodeNext();
        if (decoded != S_OK)
            return decoded;
    }
    const size_t channels = static_cast<size_t>(m_source.AudioChannels());
    const size_t room = static_cast<size_t>(sample.GetSize()) / (2 * channels) * channels;
    const size_t values = std::min(room, m_pending.size() - m_pendingOffset);
    if (values == 0)
        return E_FAIL;
    std::memcpy(sample.GetPointer(), m_pending.data() + m_pendingOffset, values * 2);
    sample.SetActualDataLength(static_cast<long>(values * 2));
    m_pendingOffset += values;

    const int64_t frames = static_cast<int64_t>(values / channels);
    const int64_t durationUs = frames * 1000000 / m_source.AudioSampleRate();
    const REFERENCE_TIME start = m_pendingStartUs * kUnitsPerMicrosecond;
    sample.SetTime(start, start + durationUs * kUnitsPerMicrosecond);
    sample.SetSyncPoint(true);
    m_source.RecordSample(m_pendingStartUs, m_pendingStartUs + durationUs);
    m_pendingStartUs += durationUs;
    return S_OK;
}

} // namespace tq9
