#include "media/MediaDuration.h"

#include <memory>

#include "medialib/tq9media.h"

namespace tq9 {

std::optional<int64_t> CMediaDuration::Milliseconds(const std::string& path)
{
    Tq9MediaFile* opened = nullptr;
    if (Tq9MediaOpen(path.c_str(), &opened) < 0 || opened == nullptr)
        return std::nullopt;
    const std::unique_ptr<Tq9MediaFile, decltype(&Tq9MediaClose)> file(opened, &Tq9MediaClose);
    const int64_t us = Tq9MediaDurationUs(file.get());
    if (us <= 0)
        return std::nullopt;
    return us / 1000;
}

} // namespace tq9
