#include "platform/streaming/AsfProfile.h"

namespace tq9 {

CAsfProfile CAsfProfile::Default()
{
    CAsfProfile profile;

    CAsfStreamConfig video;
    video.streamNumber = 1;
    video.type = AsfStreamType::Video;
    video.bitrate = 1000000;
    video.mediaType.majorType = MajorType::Video;
    video.mediaType.subType = SubType::WMV2;
    video.mediaType.fixedSizeSamples = false;
    video.mediaType.temporalCompression = true;
    VIDEOINFOHEADER vih{};
    vih.rcSource = vih.rcTarget = RECT{0, 0, 320, 240};
    vih.dwBitRate = video.bitrate;
    vih.AvgTimePerFrame = 333667;
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = 320;
    vih.bmiHeader.biHeight = 240;
    vih.bmiHeader.biPlanes = 1;
    vih.bmiHeader.biBitCount = 24;
    vih.bmiHeader.biCompression = kFourCcWMV2;
    video.mediaType.SetFormat(FormatType::VideoInfo, vih);
    profile.m_streams.push_back(video);

    CAsfStreamConfig audio;
    audio.streamNumber = 2;
    audio.type = AsfStreamType::Audio;
    audio.bitrate = 128016;
    audio.mediaType.majorType = MajorType::Audio;
    audio.mediaType.subType = SubType::WMAudioV2;
    const WAVEFORMATEX wfx{kWaveFormatWMAudioV2, 2, 44100, 16002, 5945, 16, 10};
    audio.mediaType.SetFormat(FormatType::WaveFormatEx, wfx, kWmaV2WaveExtra, sizeof kWmaV2WaveExtra);
    profile.m_streams.push_back(audio);
    return profile;
}

HRESULT CAsfProfile::GetStream(int index, CAsfStreamConfig& config) const
{
    if (index < 0 || index >= GetStreamCount())
        return E_INVALIDARG;
    config = m_streams[static_cast<size_t>(index)];
    return S_OK;
}

HRESULT CAsfProfile::CheckEncodable(const CAsfStreamConfig& config)
{
    const CMediaType& mt = config.mediaType;
    if (config.type == AsfStreamType::Video) {
        BITMAPINFOHEADER bmi;
        if (mt.formatType != FormatType::VideoInfo || !mt.GetBitmapHeader(bmi) || bmi.biCompression != kFourCcWMV2 ||
            bmi.biWidth <= 0 || bmi.biHeight == 0)
            return E_INVALIDARG;
    } else if (config.type == AsfStreamType::Audio) {
        WAVEFORMATEX wfx;
        if (mt.formatType != FormatType::WaveFormatEx || !mt.GetFormat(wfx) || wfx.wFormatTag != kWaveFormatWMAudioV2)
            return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT CAsfProfile::ReconfigStream(const CAsfStreamConfig& config)
{
    for (CAsfStreamConfig& stream : m_streams) {
        if (stream.streamNumber != config.streamNumber)
            continue;
        const HRESULT hr = CheckEncodable(config);
        if (Succeeded(hr))
            stream = config;
        return hr;
    }
    return E_INVALIDARG;
}

HRESULT CAsfProfile::AddStream(const CAsfStreamConfig& config)
{
    for (const CAsfStreamConfig& stream : m_streams)
        if (stream.streamNumber == config.streamNumber)
            return E_INVALIDARG;
    m_streams.push_back(config);
    return S_OK;
}

const CAsfStreamConfig* CAsfProfile::Find(AsfStreamType type) const
{
    for (const CAsfStreamConfig& stream : m_streams)
        if (stream.type == type)
            return &stream;
    return nullptr;
}

} // namespace tq9
