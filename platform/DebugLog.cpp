#include "platform/DebugLog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tq9 {

bool CDebugLog::Enabled()
{
    static const bool enabled = [] {
        const char* value = std::getenv("TQ9_DEBUG");
        return value != nullptr && std::strcmp(value, "1") == 0;
    }();
    return enabled;
}

void CDebugLog::Write(const std::string& text)
{
    if (!Enabled())
        return;
    const std::string line = text + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace tq9
