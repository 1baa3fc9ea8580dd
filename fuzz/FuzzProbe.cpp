// The probe of a file through the media library, as the import and export see any file: every
// demuxer FFmpeg picks by content, with a short budget per input (the callback stops a run after 2 s).
#include <chrono>

#include "FuzzSupport.h"
#include "medialib/tq9media.h"

namespace {

using Clock = std::chrono::steady_clock;

int stopLate(void* user, int, int, int, int64_t)
{
    return Clock::now() > *static_cast<Clock::time_point*>(user) ? -1 : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = tq9fuzz::WriteInput("input", data, size);
    const char* argv[] = {"", "-i", path.c_str()};
    Clock::time_point deadline = Clock::now() + std::chrono::seconds(2);
    Transcode(&stopLate, &deadline, 3, argv);
    return 0;
}
