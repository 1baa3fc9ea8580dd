#include "media/wmv/ExportReader.h"

#include <algorithm>

namespace tq9 {

ExportOutcome CExportReader::OpenStream(int which, int kind, const char* what)
{
    const int index = Tq9MediaFindStream(m_file.get(), kind);
    if (index < 0)
        return {ExportCause::NotMedia, 0, std::string("the file has no ") + what + " stream"};
    if (const int rc = Tq9MediaOpenDecoder(m_file.get(), index); rc != 0)
        return {ExportCause::NotMedia, rc, std::string("no decoder for the ") + what + " stream"};
    m_index[which] = index;
    Tq9MediaGetStreamInfo(m_file.get(), index, &m_info[which]);
    return {};
}

ExportOutcome CExportReader::Open(const std::string& path)
{
    Tq9MediaFile* file = nullptr;
    if (const int rc = Tq9MediaOpen(path.c_str(), &file); rc != 0)
        return {ExportCause::NotMedia, rc, "the file cannot be read as media"};
    m_file.reset(file);
    ExportOutcome outcome = OpenStream(kVideo, TQ9_MEDIA_VIDEO, "video");
    if (outcome.Failed())
        return outcome;
    if (m_info[kVideo].width <= 0 || m_info[kVideo].height <= 0)
        return {ExportCause::NotMedia, 0, "the video stream has no picture size"};
    outcome = OpenStream(kAudio, TQ9_MEDIA_AUDIO, "audio");
    if (outcome.Failed())
        return outcome;
    if (m_info[kAudio].sampleRate <= 0)
        return {ExportCause::NotMedia, 0, "the audio stream has no sample rate"};
    return {};
}

int64_t CExportReader::DurationUs() const
{
    const int64_t file = m_file ? Tq9MediaDurationUs(m_file.get()) : TQ9_MEDIA_TIME_NONE;
    return file != TQ9_MEDIA_TIME_NONE && file > 0 ? file : 0;
}

int64_t CExportReader::DeclaredUs() const
{
    int64_t longest = 0;
    for (const Tq9MediaStreamInfo& info : m_info)
        if (info.durationUs != TQ9_MEDIA_TIME_NONE)
            longest = std::max(longest, info.durationUs);
    return longest > 0 ? longest : DurationUs();
}

bool CExportReader::QueueFull(int which) const
{
    return m_queues[which].size() >= kMaxQueuedPackets || m_queuedBytes[which] >= kMaxQueuedBytes;
}

bool CExportReader::ReadOnePacket()
{
    if (m_endOfFile)
        return false;
    Tq9MediaPacket* raw = nullptr;
    const int rc = Tq9MediaReadPacket(m_file.get(), &raw);
    if (rc < 0) {
        m_endOfFile = true;
        m_readStatus = rc;
        return false;
    }
    const int stream = Tq9MediaPacketStream(raw);
    const int which = stream == m_index[kVideo] ? kVideo : stream == m_index[kAudio] ? kAudio : -1;
    if (which < 0 || !m_taking[which]) {
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

std::unique_ptr<CFFPacket> CExportReader::NextPacket(int which, int& status)
{
    const int other = 1 - which;
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        if (m_stopping) {
            status = kStopped;
            return nullptr;
        }
        auto& queue = m_queues[which];
        if (!queue.empty()) {
            std::unique_ptr<CFFPacket> packet = std::move(queue.front());
            queue.pop_front();
            m_queuedBytes[which] -= static_cast<size_t>(packet->Size());
            lock.unlock();
            m_changed.notify_all(); // the other stream may wait for room in this queue
            status = 0;
            return packet;
        }
        if (m_endOfFile) {
            status = m_readStatus;
            return nullptr;
        }
        if (m_taking[other] && QueueFull(other)) {
            m_changed.wait(lock);
            continue;
        }
        ReadOnePacket();
    }
}

void CExportReader::Finish(int which)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_taking[which] = false;
        m_queues[which].clear();
        m_queuedBytes[which] = 0;
    }
    m_changed.notify_all();
}

void CExportReader::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stopping = true;
    }
    m_changed.notify_all();
}

size_t CExportReader::QueuedPackets(int which)
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_queues[which].size();
}

} // namespace tq9
