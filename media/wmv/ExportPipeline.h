// One WMV export run: the reader, a decoder per stream and the writer, with the video and the audio stream
// each on a thread of its own (decode, then hand to the writer, whose encoders run on threads of theirs).
// Open prepares every stage and creates the file; Start starts the two stream threads; Wait waits for both
// streams to end, a failure or a stop; Finish joins the threads and closes the file, or aborts it (which
// removes it) after a failure or a stop. The first failure of any stage is the run's outcome, and it stops
// the other stream at once.
//
// Threads: Open, Start, Wait and Finish on the converter's thread; Stop and the position on any. m_lock
// guards m_outcome, m_running and the delivered span; the stages are used only by their threads (see
// their headers).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "media/wmv/ExportOutcome.h"
#include "media/wmv/ExportReader.h"
#include "media/wmv/ExportWriter.h"
#include "media/wmv/StreamDecoder.h"

namespace tq9 {

class CExportPipeline {
public:
    CExportPipeline() = default;
    ~CExportPipeline(); // stops, joins and aborts what is still running
    CExportPipeline(const CExportPipeline&) = delete;
    CExportPipeline& operator=(const CExportPipeline&) = delete;

    // Opens the recording and creates destination with the profile the recording asks for.
    ExportOutcome Open(const std::string& source, const std::string& destination);
    void Start();
    // True once both streams have ended, one failed or Stop was called; false after step.
    bool Wait(std::chrono::milliseconds step);
    // The streams end within one picture or sound.
    void Stop();
    // Joins the streams and finishes the file: None when it is complete, else why not (the file is gone).
    ExportOutcome Finish();

    // The start of the last picture handed to the writer, and the file's length (0 unknown).
    int64_t PositionUs() const { return m_positionUs.load(); }
    int64_t DurationUs() const { return m_reader.DurationUs(); }
    // How much of the recording could be decoded (first start to last end over both streams), and how much
    // it declares.
    int64_t DeliveredUs() const;
    int64_t DeclaredUs() const { return m_reader.DeclaredUs(); }

private:
    void RunStream(int which);
    void EndStream(const std::optional<ExportOutcome>& failure);

    CExportReader m_reader;
    CExportWriter m_writer;
    std::thread m_threads[2];
    std::atomic<bool> m_stop{false};
    std::atomic<int64_t> m_positionUs{0};

    mutable std::mutex m_lock;
    std::condition_variable m_ended;
    ExportOutcome m_outcome;   // the first failure or the stop
    int m_running = 0;         // stream threads not yet ended
    int64_t m_firstUs = INT64_MAX, m_lastUs = INT64_MIN;
};

} // namespace tq9
