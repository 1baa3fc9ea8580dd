#include "jobs/TimeLeft.h"

#include <algorithm>
#include <cstdio>

namespace tq9 {

std::optional<std::chrono::seconds> CTimeLeft::Estimate(int fileIndex, int fileCount, int percent,
                                                        Clock::time_point now) const
{
    const auto elapsed = std::chrono::duration<double>(now - m_start);
    if (fileCount <= 0 || elapsed < kShowAfter)
        return std::nullopt;
    const double done = (std::clamp(fileIndex, 0, fileCount) + std::clamp(percent, 0, 100) / 100.0) / fileCount;
    if (done <= 0.005 || done >= 1.0)
        return std::nullopt; // nothing to go on yet, or nothing left
    const double left = elapsed.count() * (1.0 - done) / done;
    return std::chrono::seconds(static_cast<long long>(left + 0.5));
}

std::string CTimeLeft::Text(std::chrono::seconds left)
{
    const long long total = std::max<long long>(0, left.count());
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
    return text;
}

} // namespace tq9
