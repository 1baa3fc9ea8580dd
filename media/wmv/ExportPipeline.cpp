#include "media/wmv/ExportPipeline.h"

#include <algorithm>

#include "media/wmv/ExportProfile.h"

namespace tq9 {

CExportPipeline::~CExportPipeline()
{
    Stop();
    for (std::thread& thread : m_threads)
        if (thread.joinable())
            thread.join();
    m_writer.Abort();
}

ExportOutcome CExportPipeline::Open(const std::string& source, const std::string& destination)
{
    ExportOutcome outcome = m_reader.Open(source);
    if (outcome.Failed())
        return outcome;
    const Tq9WriterSettings settings =
        CExportProfile::SettingsFor(m_reader.Info(CExportReader::kVideo), m_reader.Info(CExportReader::kAudio));
    if (const int rc = m_writer.Open(destination, settings); rc < 0)
        return {ExportCause::WriteFailed, rc, m_writer.FailureText()};
    return {};
}

void CExportPipeline::Start()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_running = 2;
    }
    for (int which : {CExportReader::kVideo, CExportReader::kAudio})
        m_threads[which] = std::thread([this, which] { RunStream(which); });
}

void CExportPipeline::RunStream(int which)
{
    CStreamDecoder decoder(m_reader, which);
    DecodedFrame frame;
    std::optional<ExportOutcome> failure;
    while (!m_stop.load()) {
        const int decoded = decoder.Next(frame);
        if (decoded == TQ9_MEDIA_EOF)
            break;
        if (decoded == CExportReader::kStopped)
            break;
        if (decoded < 0) {
            char reason[128] = "";
            Tq9MediaErrorText(decoded, reason, sizeof reason);
            failure = ExportOutcome{ExportCause::ReadFailed, decoded,
                                    std::string(which == CExportReader::kVideo ? "the pictures" : "the sound") +
                                        " cannot be read to the end (" + reason + ")"};
            break;
        }
        const bool video = which == CExportReader::kVideo;
        const int written =
            video ? m_writer.Video(frame.picture, frame.startUs) : m_writer.Audio(frame.sound, frame.startUs);
        if (written < 0) {
            failure = ExportOutcome{ExportCause::WriteFailed, written, m_writer.FailureText()};
            break;
        }
        if (video)
            m_positionUs.store(frame.startUs);
        std::lock_guard<std::mutex> lock(m_lock);
        m_firstUs = std::min(m_firstUs, frame.startUs);
        m_lastUs = std::max(m_lastUs, frame.endUs);
    }
    m_reader.Finish(which);
    EndStream(failure);
}

void CExportPipeline::EndStream(const std::optional<ExportOutcome>& failure)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        --m_running;
        if (failure && m_outcome.cause == ExportCause::None)
            m_outcome = *failure;
    }
    // A stream that failed has not ended: the other stops too, and the file is not finished on what came.
    if (failure)
        Stop();
    m_ended.notify_all();
}

bool CExportPipeline::Wait(std::chrono::milliseconds step)
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_ended.wait_for(lock, step, [this] {
        return m_running == 0 || m_outcome.cause != ExportCause::None || m_stop.load();
    });
}

void CExportPipeline::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stop.store(true);
    }
    m_reader.Stop();
    m_ended.notify_all();
}

ExportOutcome CExportPipeline::Finish()
{
    for (std::thread& thread : m_threads)
        if (thread.joinable())
            thread.join();
    ExportOutcome outcome;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        outcome = m_outcome;
        if (outcome.cause == ExportCause::None && m_stop.load())
            outcome = {ExportCause::Stopped, 0, "stopped"};
    }
    if (outcome.cause != ExportCause::None) {
        m_writer.Abort();
        return outcome;
    }
    if (const int rc = m_writer.Close(); rc < 0)
        return {ExportCause::WriteFailed, rc, m_writer.FailureText()};
    return {};
}

int64_t CExportPipeline::DeliveredUs() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_lastUs > m_firstUs ? m_lastUs - m_firstUs : 0;
}

} // namespace tq9
