#include "platform/streaming/AsfWriterFilter.h"

#include <cmath>
#include <cstdlib>
#include <numeric>

namespace tq9 {

namespace {

constexpr AsfWriterFunctions kLibrary{&::Tq9WriterOpen, &::Tq9WriterVideo, &::Tq9WriterAudio, &::Tq9WriterClose,
                                      &::Tq9WriterAbort};

std::mutex g_functionsLock;
AsfWriterFunctions g_functions = kLibrary; // guarded by g_functionsLock

// The frame rate behind a frame period: the broadcast and film rates exactly (their periods come rounded to
// the microsecond), anything else as 10,000,000 / period. 0/0 when the period is unknown (the writer then guesses).
void FrameRateOf(REFERENCE_TIME period, int& num, int& den)
{
    num = den = 0;
    if (period <= 0)
        return;
    static constexpr int kRates[][2] = {{24000, 1001}, {24, 1}, {25, 1}, {30000, 1001}, {30, 1},
                                        {50, 1},       {60000, 1001}, {60, 1}};
    for (const auto& rate : kRates) {
        const double exact = 1e7 * rate[1] / rate[0];
        if (std::fabs(exact - static_cast<double>(period)) <= static_cast<double>(kUnitsPerMicrosecond)) {
            num = rate[0];
            den = rate[1];
            return;
        }
    }
    const int64_t divisor = std::gcd<int64_t>(10000000, period);
    if (period / divisor <= INT32_MAX) {
        num = static_cast<int>(10000000 / divisor);
        den = static_cast<int>(period / divisor);
    }
}

// The pixel shape that shows width x height at the connection's picture aspect (video info 2 only);
// 0/0 when the type says nothing or the pixels are square.
void PixelShapeOf(const CMediaType& type, int width, int height, int& num, int& den)
{
    num = den = 0;
    VIDEOINFOHEADER2 vih{};
    if (type.formatType != FormatType::VideoInfo2 || !type.GetFormat(vih) || !vih.dwPictAspectRatioX ||
        !vih.dwPictAspectRatioY || width <= 0 || height <= 0)
        return;
    int64_t x = static_cast<int64_t>(vih.dwPictAspectRatioX) * height;
    int64_t y = static_cast<int64_t>(vih.dwPictAspectRatioY) * width;
    const int64_t divisor = std::gcd(x, y);
    x /= divisor;
    y /= divisor;
    if (x == y || x > INT32_MAX || y > INT32_MAX)
        return;
    num = static_cast<int>(x);
    den = static_cast<int>(y);
}

int64_t MicrosecondsOf(const CMediaSample& sample)
{
    REFERENCE_TIME start = 0, stop = 0;
    return Succeeded(sample.GetTime(start, stop)) ? start / kUnitsPerMicrosecond : TQ9_MEDIA_TIME_NONE;
}

} // namespace

class CAsfWriterFilter::CInputPin : public CBaseInputPin {
public:
    CInputPin(CAsfWriterFilter& filter, std::string name, bool video)
        : CBaseInputPin(filter, std::move(name)), m_owner(filter), m_video(video)
    {
    }

    HRESULT CheckMediaType(const CMediaType* type) override
    {
        if (!type)
            return E_POINTER;
        if (m_video) {
            BITMAPINFOHEADER bmi;
            const bool ok = type->majorType == MajorType::Video && type->subType == SubType::YV12 &&
                            type->GetBitmapHeader(bmi) && bmi.biWidth > 0 && bmi.biHeight != 0;
            return ok ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
        }
        WAVEFORMATEX wfx;
        const bool ok = type->majorType == MajorType::Audio && type->subType == SubType::PCM &&
                        type->formatType == FormatType::WaveFormatEx && type->GetFormat(wfx) &&
                        wfx.wBitsPerSample == 16 && wfx.nChannels > 0 && wfx.nSamplesPerSec > 0;
        return ok ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }

    HRESULT Receive(CMediaSample& sample) override
    {
        return m_video ? m_owner.ReceiveVideo(sample) : m_owner.ReceiveAudio(sample);
    }
    HRESULT EndOfStream() override { return m_owner.EndOfStream(m_video); }

private:
    CAsfWriterFilter& m_owner;
    bool m_video;
};

CAsfWriterFilter::CAsfWriterFilter()
    : CBaseFilter("WM ASF Writer"),
      m_videoPin(std::make_unique<CInputPin>(*this, "Video Input 01", true)),
      m_audioPin(std::make_unique<CInputPin>(*this, "Audio Input 01", false)),
      m_profile(CAsfProfile::Default())
{
}

CAsfWriterFilter::~CAsfWriterFilter()
{
    CAsfWriterFilter::Stop();
}

AsfWriterFunctions CAsfWriterFilter::SetWriterFunctions(const AsfWriterFunctions* functions)
{
    std::lock_guard<std::mutex> lock(g_functionsLock);
    const AsfWriterFunctions previous = g_functions;
    g_functions = functions ? *functions : kLibrary;
    return previous;
}

CBasePin* CAsfWriterFilter::GetPin(int n)
{
    return n == 0 ? static_cast<CBasePin*>(m_videoPin.get()) : n == 1 ? m_audioPin.get() : nullptr;
}

HRESULT CAsfWriterFilter::SetFileName(const std::string& path)
{
    if (path.empty())
        return E_INVALIDARG;
    m_fileName = path;
    return S_OK;
}

HRESULT CAsfWriterFilter::GetCurrentProfile(CAsfProfile& profile) const
{
    profile = m_profile;
    return S_OK;
}

HRESULT CAsfWriterFilter::ConfigureFilterUsingProfile(const CAsfProfile& profile)
{
    if (!profile.Find(AsfStreamType::Video) || !profile.Find(AsfStreamType::Audio))
        return E_INVALIDARG;
    CAsfProfile checked = profile;
    for (int i = 0; i < profile.GetStreamCount(); ++i) {
        CAsfStreamConfig stream;
        profile.GetStream(i, stream);
        if (Failed(checked.ReconfigStream(stream)))
            return E_INVALIDARG;
    }
    m_profile = profile;
    return S_OK;
}

HRESULT CAsfWriterFilter::Run()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_writer)
        return S_OK;
    m_lastError.clear();
    m_failed = false;
    m_videoEnded = m_audioEnded = false;
    if (m_fileName.empty() || !m_videoPin->IsConnected() || !m_audioPin->IsConnected()) {
        m_lastError = "the writer has no file or an input is not connected";
        return VFW_E_NOT_CONNECTED;
    }

    const CAsfStreamConfig* videoStream = m_profile.Find(AsfStreamType::Video);
    const CAsfStreamConfig* audioStream = m_profile.Find(AsfStreamType::Audio);
    BITMAPINFOHEADER pictures{}, target{};
    WAVEFORMATEX sound{};
    m_videoPin->ConnectionMediaType().GetBitmapHeader(pictures);
    m_audioPin->ConnectionMediaType().GetFormat(sound);
    videoStream->mediaType.GetBitmapHeader(target);
    if (target.biWidth != pictures.biWidth || std::abs(target.biHeight) != std::abs(pictures.biHeight)) {
        m_lastError = "the profile's frame size is not the pictures'";
        return VFW_E_TYPE_NOT_ACCEPTED;
    }

    Tq9WriterSettings settings{};
    settings.width = m_width = pictures.biWidth;
    settings.height = m_height = std::abs(pictures.biHeight);
    FrameRateOf(m_videoPin->ConnectionMediaType().AvgTimePerFrame(), settings.frameRateNum, settings.frameRateDen);
    PixelShapeOf(m_videoPin->ConnectionMediaType(), m_width, m_height, settings.sampleAspectNum,
                 settings.sampleAspectDen);
    settings.videoBitRate = videoStream->bitrate;
    // The file's sound is the profile's (44100 or 48000 Hz stereo); the writer resamples what arrives.
    WAVEFORMATEX written{};
    audioStream->mediaType.GetFormat(written);
    settings.sampleRate = static_cast<int>(written.nSamplesPerSec);
    settings.channels = written.nChannels;
    settings.audioBitRate = audioStream->bitrate;
    settings.inputSampleRate = static_cast<int>(sound.nSamplesPerSec);
    settings.inputChannels = m_channels = sound.nChannels;

    {
        std::lock_guard<std::mutex> functions(g_functionsLock);
        m_functions = g_functions;
    }
    Tq9MediaWriter* writer = nullptr;
    const int rc = m_functions.open(m_fileName.c_str(), &settings, &writer);
    if (rc < 0 || !writer) {
        m_lastError = "the writer cannot create the file (status " + std::to_string(rc) + ")";
        return E_FAIL;
    }
    m_writer = writer;
    return S_OK;
}

HRESULT CAsfWriterFilter::Stop()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_writer) {
        m_functions.abort(m_writer);
        m_writer = nullptr;
    }
    return S_OK;
}

std::string CAsfWriterFilter::LastError() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_lastError;
}

HRESULT CAsfWriterFilter::Fail(int status, const char* what)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_failed.exchange(true))
            return E_FAIL; // reported already
        m_lastError = std::string(what) + " (status " + std::to_string(status) + ")";
    }
    NotifyEvent(EC_ERRORABORT, E_FAIL);
    return E_FAIL;
}

// The pins' calls run without the lock: the writer takes a video and an audio call at the same time, and
// it is neither opened nor closed while a streaming thread delivers.
HRESULT CAsfWriterFilter::ReceiveVideo(const CMediaSample& sample)
{
    if (m_failed.load() || !m_writer)
        return E_FAIL;
    const int chromaWidth = (m_width + 1) / 2;
    const long lumaSize = static_cast<long>(m_width) * m_height;
    const long chromaSize = static_cast<long>(chromaWidth) * ((m_height + 1) / 2);
    if (sample.GetActualDataLength() < lumaSize + 2 * chromaSize)
        return Fail(E_INVALIDARG, "a picture sample is short");
    const uint8_t* y = sample.GetPointer();
    const uint8_t* v = y + lumaSize; // YV12: V before U
    const uint8_t* u = v + chromaSize;
    const uint8_t* const planes[3] = {y, u, v};
    const int lineSizes[3] = {m_width, chromaWidth, chromaWidth};
    const int rc = m_functions.video(m_writer, planes, lineSizes, MicrosecondsOf(sample));
    return rc < 0 ? Fail(rc, "the writer refused a picture") : S_OK;
}

HRESULT CAsfWriterFilter::ReceiveAudio(const CMediaSample& sample)
{
    if (m_failed.load() || !m_writer)
        return E_FAIL;
    const int frames = static_cast<int>(sample.GetActualDataLength() / (2 * m_channels));
    if (frames == 0)
        return S_OK;
    const auto* samples = reinterpret_cast<const int16_t*>(sample.GetPointer());
    const int rc = m_functions.audio(m_writer, samples, frames, MicrosecondsOf(sample));
    return rc < 0 ? Fail(rc, "the writer refused a sound") : S_OK;
}

HRESULT CAsfWriterFilter::EndOfStream(bool video)
{
    Tq9MediaWriter* finished = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        (video ? m_videoEnded : m_audioEnded) = true;
        if (!m_videoEnded || !m_audioEnded || !m_writer || m_failed.load())
            return S_OK;
        finished = m_writer;
        m_writer = nullptr;
    }
    // Both streams are over, so no streaming thread calls the writer any more.
    const int rc = m_functions.close(finished);
    if (rc < 0)
        return Fail(rc, "the writer could not finish the file");
    NotifyEvent(EC_COMPLETE, 0);
    return S_OK;
}

} // namespace tq9
