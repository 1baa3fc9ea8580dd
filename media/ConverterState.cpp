#include "media/ConverterState.h"

#include <algorithm>
#include <climits>
#include <sys/stat.h>
#include <vector>

#include "platform/FileIo.h"
#include "platform/UniqueFd.h"

namespace tq9 {

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
    position = 0;
    total = 1;
}

ConverterOutcome CConverterState::CopyFile(const std::string& source, const std::string& destination)
{
    std::lock_guard<std::mutex> run(runLock);
    BeginOperation();

    CUniqueFd in(CFileIo::OpenRead(source));
    if (!in.IsOpen())
        return FailedCopy(errno);
    // The record reserved the destination as an empty file; a missing one means something is wrong, and
    // creating it here would leave a stray file behind.
    CUniqueFd out(CFileIo::OpenWriteExisting(destination));
    if (!out.IsOpen())
        return FailedCopy(errno);

    struct stat st {};
    const uint64_t length = ::fstat(in.Get(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
    // The progress fields are 32-bit signed: a large file is counted in coarser units rather than wrapped.
    unsigned shift = 0;
    while ((length >> shift) > static_cast<uint64_t>(INT32_MAX))
        shift += 10;
    {
        std::lock_guard<std::mutex> lock(stateLock);
        total = static_cast<int32_t>(length >> shift);
    }

    const int copied = CFileIo::CopyBlocks(in.Get(), out.Get(), [&](uint64_t done) {
        std::lock_guard<std::mutex> lock(stateLock);
        // A file that grows while it is copied must not push position past what the type holds.
        position = static_cast<int32_t>(std::min<uint64_t>(done >> shift, INT32_MAX));
        return continueFlag;
    });
    if (copied < 0)
        return FailedCopy(errno);
    if (out.Close() < 0)
        return FailedCopy(errno);
    return copied == 1 ? ConverterOutcome{TQ9_MEDIA_EXIT} : ConverterOutcome::Done();
}

ConverterOutcome CConverterState::FailedCopy(int err)
{
    return ConverterOutcome{err > 0 && err < 4096 ? -err : TQ9_MEDIA_UNKNOWN};
}

} // namespace tq9
