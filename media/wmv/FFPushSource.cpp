#include "media/wmv/FFPushSource.h"

#include <algorithm>
#include <numeric>

#include "media/wmv/FFPushAudioPin.h"
#include "media/wmv/FFPushVideoPin.h"

namespace tq9 {

namespace {

// Packets read while looking for the first picture's length; beyond that the length stays unknown.
constexpr int kLookAheadPackets = 64;

} // namespace

CFFPushSource::CFFPushSource() : CSource("CFFPushSource") {}

CFFPushSource::~CFFPushSource()
{
    // The pins' threads use the file and the queues: they end before anything here goes.
    Stop();
    m_pins.clear();
}

HRESULT CFFPushSource::Fail(HRESULT status, const std::string& why)
{
    m_lastError = why;
    return status;
}

std::string CFFPushSource::LastError() const
{
    std::lock_guard<std::mutex> lock(m_stateLock);
    return m_lastError;
}

void CFFPushSource::CorrectTimeBase(int& num, int& den)
{
    if (num > 1000 && den == 1)
        den = 1000;
}

HRESULT CFFPushSource::OpenStream(int kind, const char* what, int& index, Tq9MediaStreamInfo& info)
{
    index = Tq9MediaFindStream(m_file.get(), kind);
    if (index < 0)
        return Fail(E_FAIL, std::string("the file has no ") + what + " stream");
    if (Tq9MediaOpenDecoder(m_file.get(), index) != 0)
        return Fail(E_OUTOFMEMORY, std::string("no decoder for the ") + what + " stream");
    Tq9MediaGetStreamInfo(m_file.get(), index, &info);
    return S_OK;
}

HRESULT CFFPushSource::Load(const char* path, const CMediaType* type)
{
    if (!path)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_stateLock);
    if (m_file)
        return E_FAIL;
    m_path = path;

    Tq9MediaFile* file = nullptr;
    if (Tq9MediaOpen(path, &file) != 0)
        return Fail(E_FAIL, "the file cannot be read as media");
    m_file.reset(file);

    HRESULT hr = OpenStream(TQ9_MEDIA_VIDEO, "video", m_videoStream, m_videoInfo);
    if (Failed(hr))
        return hr;
    if (m_videoInfo.width <= 0 || m_videoInfo.height <= 0)
        return Fail(E_FAIL, "the video stream has no picture size");
    AddPin(std::make_unique<CFFPushVideoPin>(*this));

    hr = OpenStream(TQ9_MEDIA_AUDIO, "audio", m_audioStream, m_audioInfo);
    if (Failed(hr))
        return hr;
    if (m_audioInfo.sampleRate <= 0)
        return Fail(E_FAIL, "the audio stream has no sample rate");
    AddPin(std::make_unique<CFFPushAudioPin>(*this));

    if (type) {
        m_loadType = *type;
    } else {
        m_loadType = CMediaType();
        m_loadType.majorType = MajorType::Stream;
    }
    const int64_t durationUs = Tq9MediaDurationUs(file);
    if (durationUs != TQ9_MEDIA_TIME_NONE)
        SetDuration(durationUs * kUnitsPerMicrosecond);
    LearnFrameDuration();
    return S_OK;
}

void CFFPushSource::LearnFrameDuration()
{
    std::lock_guard<std::mutex> lock(m_queueLock);
    for (int n = 0; m_queues[kVideo].empty() && n < kLookAheadPackets && !QueueFull(kAudio); ++n)
        if (!ReadOnePacket())
            break;
    if (!m_queues[kVideo].empty())
        m_frameDurationUs = m_queues[kVideo].front()->DurationUs();
    if (m_frameDurationUs <= 0) {
        int num = m_videoInfo.timeBaseNum, den = m_videoInfo.timeBaseDen;
        CorrectTimeBase(num, den);
        // Only a time base that is itself a plausible picture period (4 ms to 1 s) says anything.
        const int64_t periodUs = den > 0 ? static_cast<int64_t>(num) * 1000000 / den : 0;
        m_frameDurationUs = periodUs >= 4000 && periodUs <= 1000000 ? periodUs : 0;
    }
}

HRESULT CFFPushSource::GetCurFile(std::string* name, CMediaType* type)
{
    if (!name)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_stateLock);
    *name = m_path;
    if (type)
        *type = m_loadType;
    return S_OK;
}

void CFFPushSource::RecordSample(int64_t startUs, int64_t endUs)
{
    int64_t first = m_firstStartUs.load();
    while (startUs < first && !m_firstStartUs.compare_exchange_weak(first, startUs)) {
    }
    int64_t last = m_lastEndUs.load();
    while (endUs > last && !m_lastEndUs.compare_exchange_weak(last, endUs)) {
    }
}

int64_t CFFPushSource::DeliveredUs() const
{
    const int64_t first = m_firstStartUs.load(), last = m_lastEndUs.load();
    return last > first ? last - first : 0;
}

int64_t CFFPushSource::DeclaredUs() const
{
    int64_t longest = 0;
    for (const Tq9MediaStreamInfo* info : {&m_videoInfo, &m_audioInfo})
        if (info->durationUs != TQ9_MEDIA_TIME_NONE)
            longest = std::max(longest, info->durationUs);
    if (longest > 0)
        return longest;
    const int64_t file = m_file ? Tq9MediaDurationUs(m_file.get()) : TQ9_MEDIA_TIME_NONE;
    return file != TQ9_MEDIA_TIME_NONE && file > 0 ? file : 0;
}

void CFFPushSource::DisplayAspect(uint32_t& x, uint32_t& y) const
{
    uint64_t wide = static_cast<uint64_t>(m_videoInfo.width), high = static_cast<uint64_t>(m_videoInfo.height);
    if (m_videoInfo.sampleAspectNum > 0 && m_videoInfo.sampleAspectDen > 0) {
        wide *= static_cast<uint64_t>(m_videoInfo.sampleAspectNum);
        high *= static_cast<uint64_t>(m_videoInfo.sampleAspectDen);
    }
    const uint64_t divisor = std::gcd(wide, high);
    x = divisor ? static_cast<uint32_t>(wide / divisor) : 0;
    y = divisor ? static_cast<uint32_t>(high / divisor) : 0;
}

long CFFPushSource::PictureSize() const
{
    const long width = m_videoInfo.width, height = m_videoInfo.height;
    return width * height + 2 * ((width + 1) / 2) * ((height + 1) / 2);
}

HRESULT CFFPushSource::Run()
{
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        m_stopping = false;
        for (int which : {kVideo, kAudio}) {
            CBasePin* pin = GetPin(which);
            m_consuming[which] = pin && pin->IsConnected();
        }
    }
    return CSource::Run();
}

void CFFPushSource::WakeForStop()
{
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        m_stopping = true;
    }
    m_queueChanged.notify_all();
}

bool CFFPushSource::QueueFull(int which) const
{
    return m_queues[which].size() >= kMaxQueuedPackets || m_queuedBytes[which] >= kMaxQueuedBytes;
}

bool CFFPushSource::ReadOnePacket()
{
    if (m_endOfFile)
        return false;
    Tq9MediaPacket* raw = nullptr;
    const int rc = Tq9MediaReadPacket(m_file.get(), &raw);
    if (rc < 0) {
        m_endOfFile = true;
        m_readStatus = rc == TQ9_MEDIA_EOF ? S_FALSE : E_FAIL;
        return false;
    }
    const int stream = Tq9MediaPacketStream(raw);
    const int which = stream == m_videoStream ? kVideo : stream == m_audioStream ? kAudio : -1;
    if (which < 0 || !m_consuming[which]) {
        Tq9MediaPacketFree(raw);
        return true;
    }
    // A packet without a presentation time continues its stream's times instead of carrying no time.
    int64_t pts = Tq9MediaPacketPtsUs(raw);
    const int64_t duration = Tq9MediaPacketDurationUs(raw);
    if (pts == TQ9_MEDIA_TIME_NONE) {
        const int64_t dts = Tq9MediaPacketDtsUs(raw);
        pts = m_nextPtsUs[which] != TQ9_MEDIA_TIME_NONE ? m_nextPtsUs[which] : (dts != TQ9_MEDIA_TIME_NONE ? dts : 0);
    }
    m_nextPtsUs[which] = pts + (duration > 0 ? duration : 0);
    auto packet = std::make_unique<CFFPacket>(raw, pts, duration);
    m_queuedBytes[which] += static_cast<size_t>(packet->Size());
    m_queues[which].push_back(std::move(packet));
    return true;
}

std::unique_ptr<CFFPacket> CFFPushSource::NextPacket(int which, HRESULT& status)
{
    const int other = 1 - which;
    std::unique_lock<std::mutex> lock(m_queueLock);
    for (;;) {
        if (m_stopping) {
            status = VFW_E_WRONG_STATE;
            return nullptr;
        }
        auto& queue = m_queues[which];
        if (!queue.empty()) {
            std::unique_ptr<CFFPacket> packet = std::move(queue.front());
            queue.pop_front();
            m_queuedBytes[which] -= static_cast<size_t>(packet->Size());
            lock.unlock();
            m_queueChanged.notify_all(); // a reader may wait for room in this queue
            status = S_OK;
            return packet;
        }
        if (m_endOfFile) {
            status = m_readStatus;
            return nullptr;
        }
        if (m_consuming[other] && QueueFull(other)) {
            m_queueChanged.wait(lock);
            continue;
        }
        ReadOnePacket();
    }
}

size_t CFFPushSource::QueuedPackets(int which)
{
    std::lock_guard<std::mutex> lock(m_queueLock);
    return m_queues[which].size();
}

void CFFPushSource::PinFinished(int which)
{
    {
        std::lock_guard<std::mutex> lock(m_queueLock);
        m_consuming[which] = false;
        m_queues[which].clear();
        m_queuedBytes[which] = 0;
    }
    m_queueChanged.notify_all();
}

} // namespace tq9
