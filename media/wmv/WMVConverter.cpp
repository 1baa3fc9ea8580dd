#include "media/wmv/WMVConverter.h"

#include <unistd.h>

#include <algorithm>

#include <memory>

#include "media/wmv/FFPushSource.h"
#include "platform/streaming/AsfWriterFilter.h"
#include "platform/streaming/FilterGraph.h"

namespace tq9 {

namespace {

constexpr uint32_t kVideoBitRate = 6000000;
constexpr long kWaitStepMs = 500;

constexpr CWMVConverter::AudioRow kRows44100[] = {
    {100000, 96000, 12000, 4459}, {130000, 128016, 16002, 5945}, {0, 256016, 32002, 11889}};
constexpr CWMVConverter::AudioRow kRows48000[] = {
    {100000, 96000, 12000, 4096}, {130000, 128016, 16002, 5462}, {0, 256016, 32002, 8192}};

HRESULT AdjustVideo(CAsfProfile& profile, CAsfStreamConfig stream, int width, int height)
{
    stream.bitrate = kVideoBitRate;
    CMediaType& type = stream.mediaType;
    VIDEOINFOHEADER vih;
    if (type.formatType != FormatType::VideoInfo || type.format.size() != sizeof(VIDEOINFOHEADER) ||
        !type.GetFormat(vih))
        return E_FAIL;
    vih.dwBitRate = kVideoBitRate;
    vih.bmiHeader.biWidth = width;
    vih.bmiHeader.biHeight = height;
    type.SetFormat(FormatType::VideoInfo, vih);
    return profile.ReconfigStream(stream);
}

// The 48 kHz top row asks for WMA Pro first; a writer that cannot encode it refuses the stream.
HRESULT TryProAudio(CAsfProfile& profile, CAsfStreamConfig stream)
{
    stream.bitrate = 256008;
    CMediaType& type = stream.mediaType;
    type = CMediaType();
    type.majorType = MajorType::Audio;
    type.subType = SubType::WMAudioPro;
    type.fixedSizeSamples = true;
    type.temporalCompression = false;
    type.sampleSize = 0;
    const WAVEFORMATEX wfx{kWaveFormatWMAudioPro, 2, 48000, 32001, 10923, 16, 20};
    const uint8_t extra[20] = {0x10, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                               0x00, 0x00, 0x00, 0x00, 0xE0, 0x00, 0x00, 0x00, 0x00, 0x00};
    type.SetFormat(FormatType::WaveFormatEx, wfx, extra, sizeof extra);
    return profile.ReconfigStream(stream);
}

HRESULT AdjustAudio(CAsfProfile& profile, CAsfStreamConfig stream, uint32_t audioBitRate, int sampleRate)
{
    const CWMVConverter::AudioRow& row = CWMVConverter::ChooseAudioRow(sampleRate, audioBitRate);
    const uint32_t rate = sampleRate == 48000 ? 48000 : 44100;
    if (rate == 48000 && row.bitrate == 256016 && Succeeded(TryProAudio(profile, stream)))
        return S_OK;
    stream.bitrate = row.bitrate;
    CMediaType& type = stream.mediaType;
    WAVEFORMATEX wfx;
    if (type.formatType != FormatType::WaveFormatEx ||
        type.format.size() != sizeof(WAVEFORMATEX) + sizeof kWmaV2WaveExtra || !type.GetFormat(wfx))
        return E_FAIL;
    // The format tag and the extra-size field stay as the profile had them.
    wfx.nChannels = 2;
    wfx.nSamplesPerSec = rate;
    wfx.nAvgBytesPerSec = row.avgBytesPerSec;
    wfx.nBlockAlign = row.blockAlign;
    wfx.wBitsPerSample = 16;
    type.SetFormat(FormatType::WaveFormatEx, wfx, kWmaV2WaveExtra, sizeof kWmaV2WaveExtra);
    return profile.ReconfigStream(stream);
}

// Connects every input pin of the writer to the first free output pin of the other filters that takes it.
void ConnectToWriter(CFilterGraph& graph, CBaseFilter& writer)
{
    for (int i = 0; CBasePin* input = writer.GetPin(i); ++i) {
        for (int f = 0; CBaseFilter* filter = graph.GetFilter(f); ++f) {
            if (filter == &writer)
                continue;
            bool connected = false;
            for (int p = 0; CBasePin* output = filter->GetPin(p); ++p) {
                if (output->Direction() != PinDirection::Output || output->IsConnected())
                    continue;
                if (graph.ConnectDirect(*output, *input, nullptr) == S_OK) {
                    connected = true;
                    break;
                }
            }
            if (connected)
                break;
        }
    }
}

} // namespace

CWMVConverter& CWMVConverter::Instance()
{
    static CWMVConverter instance;
    return instance;
}

const CWMVConverter::AudioRow& CWMVConverter::ChooseAudioRow(int sampleRate, uint32_t audioBitRate)
{
    const AudioRow* rows = sampleRate == 48000 ? kRows48000 : kRows44100;
    for (int i = 0;; ++i)
        if (rows[i].below == 0 || rows[i].below > audioBitRate)
            return rows[i];
}

HRESULT CWMVConverter::AdjustProfile(CAsfProfile& profile, int width, int height, uint32_t audioBitRate,
                                     int sampleRate)
{
    for (int i = 0; i < profile.GetStreamCount(); ++i) {
        CAsfStreamConfig stream;
        profile.GetStream(i, stream);
        HRESULT hr = S_OK;
        if (stream.type == AsfStreamType::Video)
            hr = AdjustVideo(profile, stream, width, height);
        else if (stream.type == AsfStreamType::Audio)
            hr = AdjustAudio(profile, stream, audioBitRate, sampleRate);
        if (Failed(hr))
            return hr;
    }
    return S_OK;
}

int CWMVConverter::Fail(const std::string& destination, const std::string& why)
{
    // Whatever the writer left, or the reserved empty file: no half-written WMV reaches anyone.
    ::unlink(destination.c_str());
    std::lock_guard<std::mutex> lock(stateLock);
    result = kConverterFailed;
    m_lastError = why;
    return -1;
}

int CWMVConverter::ConvertToWmv(const std::string& source, const std::string& destination, int64_t expectedMs)
{
    std::lock_guard<std::mutex> run(runLock);
    BeginOperation();
    {
        std::lock_guard<std::mutex> lock(stateLock);
        m_lastError.clear();
    }

    // The graph is destroyed first: it stops both filters (joining the streaming threads) while they live.
    auto pushSource = std::make_shared<CFFPushSource>();
    auto writer = std::make_shared<CAsfWriterFilter>();
    CFilterGraph graph;
    graph.AddFilter(pushSource, "FFPushSource");
    if (Failed(pushSource->Load(source.c_str(), nullptr)))
        return Fail(destination, pushSource->LastError());
    graph.AddFilter(writer, "WMV Renderer");
    writer->SetFileName(destination);

    CAsfProfile profile;
    writer->GetCurrentProfile(profile);
    const auto bitRate = static_cast<uint32_t>(pushSource->AudioBitRate());
    if (Failed(AdjustProfile(profile, pushSource->VideoWidth(), pushSource->VideoHeight(), bitRate,
                             pushSource->AudioSampleRate())) ||
        Failed(writer->ConfigureFilterUsingProfile(profile)))
        return Fail(destination, "the writer's profile does not take the source's format");

    ConnectToWriter(graph, *writer);
    bool stopped = false;
    {
        std::lock_guard<std::mutex> lock(stateLock);
        stopped = !continueFlag;
    }
    if (stopped)
        return Fail(destination, "stopped");
    if (Failed(graph.Run())) {
        graph.Stop();
        return Fail(destination, writer->LastError().empty() ? "the graph cannot run" : writer->LastError());
    }

    REFERENCE_TIME duration = 0;
    pushSource->GetDuration(duration);
    const int32_t totalMs =
        duration == CSourceSeeking::kUnknownDuration ? 0 : static_cast<int32_t>(duration / kUnitsPerMillisecond);
    std::string failure;
    for (;;) {
        REFERENCE_TIME current = 0;
        pushSource->GetCurrentPosition(current);
        {
            std::lock_guard<std::mutex> lock(stateLock);
            position = static_cast<int32_t>(current / kUnitsPerMillisecond);
            total = totalMs;
            if (!continueFlag) {
                failure = "stopped";
                break;
            }
        }
        long code = 0;
        const HRESULT hr = graph.WaitForCompletion(kWaitStepMs, code);
        if (hr == E_ABORT)
            continue;
        if (hr == S_OK && code == EC_COMPLETE)
            break;
        failure = writer->LastError().empty() ? "the source cannot be decoded to its end" : writer->LastError();
        break;
    }
    graph.Stop();
    if (!failure.empty())
        return Fail(destination, failure);
    const int64_t declaredMs = std::max(pushSource->DeclaredUs() / 1000, expectedMs);
    const bool endedEarly = pushSource->DeliveredUs() / 1000 + kEndedEarlyToleranceMs < declaredMs;
    std::lock_guard<std::mutex> lock(stateLock);
    position = total;
    if (endedEarly) {
        result = kConverterEndedEarly;
        m_lastError = "the recording ended early";
        return -1;
    }
    result = 0;
    return 0;
}

std::string CWMVConverter::LastError() const
{
    std::lock_guard<std::mutex> lock(stateLock);
    return m_lastError;
}

} // namespace tq9
