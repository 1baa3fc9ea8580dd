#include "media/ConverterState.h"

#include <algorithm>
#include <climits>
#include <sys/stat.h>
#include <vector>

#include "platform/FileIo.h"
#include "platform/UniqueFd.h"

namespace tq9 {

int32_t CConverterState::GetResult() const
{
    std::lock_guard<std::mutex> lock(stateLock);
    return result;
}

CConverterState::Progress CConverterState::GetProgress() const
{
    std::lock_guard<std::mutex> lock(stateLock);
    return Progress{position, total};
}

void CConverterState::RequestStop()
{
    std::lock_guard<std::mutex> lock(stateLock);
    continueFlag = false;
}

void CConverterState::BeginOperation()
{
    std::lock_guard<std::mutex> lock(stateLock);
    continueFlag = true;
    result = kConverterFailed;
    position = 0;
    total = 1;
}

int CConverterState::CopyFile(const std::string& source, const std::string& destination)
{
    std::lock_guard<std::mutex> run(runLock);
    BeginOperation();

    CUniqueFd in(CFileIo::OpenRead(source));
    if (!in.IsOpen())
        return FailCopy(errno);
    // The record reserved the destination as an empty file; a missing one means something is wrong, and
    // creating it here would leave a stray file behind.
    CUniqueFd out(CFileIo::OpenWriteExisting(destination));
    if (!out.IsOpen())
        return FailCopy(errno);

    struct stat st {};
    const uint64_t length = ::fstat(in.Get(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
    // The progress fields are 32-bit signed: a large file is counted in coarser units rather than wrapped.
    unsigned shift = 0;
    while ((length >> shift) > static_cast<uint64_t>(INT32_MAX))
        shift += 10;
    {
        std::lock_guard<std::mutex> lock(stateLock);
        total = static_cast<int32_t>(length >> shift);
        result = 0;
    }

    const int copied = CFileIo::CopyBlocks(in.Get(), out.Get(), [&](uint64_t done) {
        std::lock_guard<std::mutex> lock(stateLock);
        // A file that grows while it is copied must not push position past what the type holds.
        position = static_cast<int32_t>(std::min<uint64_t>(done >> shift, INT32_MAX));
        if (continueFlag)
            return true;
        result = kConverterCopyStopped;
        return false;
    });
    if (copied < 0)
        return FailCopy(errno);
    if (out.Close() < 0)
        return FailCopy(errno);
    return 0;
}

int CConverterState::FailCopy(int err)
{
    std::lock_guard<std::mutex> lock(stateLock);
    result = err > 0 && err < 4096 ? -err : kConverterFailed;
    return 1;
}

} // namespace tq9
