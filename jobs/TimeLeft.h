// How long a job still takes, estimated from how far it got in the time it ran: shown once the job has
// run a few seconds (before that the estimate jumps about, and short work needs none). Not thread-safe:
// one front-end polls it.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace tq9 {

class CTimeLeft {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kShowAfter{3};

    explicit CTimeLeft(Clock::time_point start = Clock::now()) : m_start(start) {}

    // fileIndex files of fileCount are done and the current one is at percent (0-100). nullopt while no
    // estimate is shown.
    std::optional<std::chrono::seconds> Estimate(int fileIndex, int fileCount, int percent,
                                                 Clock::time_point now = Clock::now()) const;
    // "0:42", "12:05", "1:02:03".
    static std::string Text(std::chrono::seconds left);

private:
    Clock::time_point m_start;
};

} // namespace tq9
