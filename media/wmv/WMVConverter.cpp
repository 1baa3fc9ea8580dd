#include "media/wmv/WMVConverter.h"

#include <unistd.h>

namespace tq9 {

CWMVConverter& CWMVConverter::Instance()
{
    static CWMVConverter instance;
    return instance;
}

int CWMVConverter::ConvertToWmv(const std::string&, const std::string& destination)
{
    std::lock_guard<std::mutex> run(runLock);
    BeginOperation();
    ::unlink(destination.c_str());
    SetLastError("the WMV writer is not available");
    return -1;
}

std::string CWMVConverter::LastError() const
{
    std::lock_guard<std::mutex> lock(stateLock);
    return m_lastError;
}

void CWMVConverter::SetLastError(const std::string& why)
{
    std::lock_guard<std::mutex> lock(stateLock);
    m_lastError = why;
}

} // namespace tq9
