#include "media/wmv/WMVConverter.h"

#include <unistd.h>

#include <algorithm>

#include "media/wmv/ExportPipeline.h"

namespace tq9 {

namespace {

constexpr std::chrono::milliseconds kWaitStep{500};

} // namespace

CWMVConverter& CWMVConverter::Instance()
{
    static CWMVConverter instance;
    return instance;
}

ExportOutcome CWMVConverter::End(const std::string& destination, const ExportOutcome& outcome)
{
    // Whatever the writer left, or the reserved empty file: no half-written WMV reaches anyone.
    if (outcome.Failed())
        ::unlink(destination.c_str());
    return outcome;
}

ExportOutcome CWMVConverter::ConvertToWmv(const std::string& source, const std::string& destination,
                                          int64_t expectedMs)
{
    std::lock_guard<std::mutex> run(runLock);
    BeginOperation();

    CExportPipeline pipeline;
    ExportOutcome outcome = pipeline.Open(source, destination);
    if (outcome.Failed())
        return End(destination, outcome);
    const auto totalMs = static_cast<int32_t>(pipeline.DurationUs() / 1000);
    pipeline.Start();
    for (bool ended = false; !ended;) {
        bool stop = false;
        {
            std::lock_guard<std::mutex> lock(stateLock);
            position = static_cast<int32_t>(pipeline.PositionUs() / 1000);
            total = totalMs;
            stop = !continueFlag;
        }
        if (stop)
            pipeline.Stop();
        ended = pipeline.Wait(kWaitStep);
    }
    outcome = pipeline.Finish();
    if (outcome.Failed())
        return End(destination, outcome);
    const int64_t declaredMs = std::max(pipeline.DeclaredUs() / 1000, expectedMs);
    if (pipeline.DeliveredUs() / 1000 + kEndedEarlyToleranceMs < declaredMs)
        outcome = {ExportCause::EndedEarly, 0, "the recording ended early"};
    {
        std::lock_guard<std::mutex> lock(stateLock);
        position = total;
    }
    return End(destination, outcome);
}

} // namespace tq9
