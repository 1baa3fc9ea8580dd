// Library-wide set-up, the debug log and error texts.
#include "medialib/Ffmpeg.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace tq9media {

namespace {

bool DebugEnabled()
{
    const char* v = std::getenv("TQ9_DEBUG");
    return v && std::strcmp(v, "1") == 0;
}

} // namespace

void InitLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(DebugEnabled() ? AV_LOG_VERBOSE : AV_LOG_QUIET); });
}

void DebugLog(const char* fmt, ...)
{
    if (av_log_get_level() < AV_LOG_VERBOSE)
        return;
    char line[1024];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    av_log(nullptr, AV_LOG_VERBOSE, "tq9media: %s\n", line);
}

std::string ErrorText(int status)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(status, buf, sizeof buf);
    return buf;
}

int Check(int status, const char* what)
{
    if (status < 0)
        throw MediaError(status, std::string(what) + ": " + ErrorText(status));
    return status;
}

std::string FileUrl(const std::string& path)
{
    return "file:" + path;
}

} // namespace tq9media
