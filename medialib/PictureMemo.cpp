#include "medialib/PictureMemo.h"

#include <new>

#include <sys/stat.h>

namespace tq9media {

bool PictureMemo::Identify(const std::string& path, Identity* id)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    id->path = path;
    id->device = st.st_dev;
    id->inode = st.st_ino;
    id->size = st.st_size;
    id->modifiedNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

void PictureMemo::Clear()
{
    m_source = Identity{};
    m_recording = false;
    m_keepFirst = false;
    m_first.reset();
    m_atThumbnailTime.reset();
}

bool PictureMemo::Begin(const std::string& path, int64_t originUs, AVRational timeBase, int64_t durationUs)
{
    Clear();
    if (!Identify(path, &m_source))
        return false;
    m_recording = true;
    m_keepFirst = !(durationUs > kThumbnailTimeUs);
    m_timeBase = timeBase;
    // As the thumbnail's own run reckons its start: from microseconds, rounded once.
    m_thumbnailTs = av_rescale_q(originUs + kThumbnailTimeUs, AV_TIME_BASE_Q, timeBase);
    return true;
}

void PictureMemo::Offer(const AVFrame* frame, int64_t ts)
{
    if (!m_recording)
        return;
    auto keep = [frame](FramePtr& slot) {
        slot = MakeFrame();
        if (av_frame_ref(slot.get(), frame) < 0)
            slot.reset();
    };
    if (m_keepFirst) {
        keep(m_first);
        m_firstTs = ts;
        m_keepFirst = false;
    }
    if (ts == AV_NOPTS_VALUE) {
        m_recording = false;
        return;
    }
    if (ts >= m_thumbnailTs) {
        keep(m_atThumbnailTime);
        m_keptThumbnailTs = ts;
        m_recording = false; // both kept
    }
}

FramePtr PictureMemo::Find(const std::string& path, int64_t startUs, AVRational timeBase, int64_t* ts)
{
    Identity id;
    if (!Identify(path, &id) || !(id == m_source) || av_cmp_q(timeBase, m_timeBase) != 0)
        return nullptr;
    const FramePtr* kept = startUs == 0 ? &m_first : (startUs == kThumbnailTimeUs ? &m_atThumbnailTime : nullptr);
    if (!kept || !*kept)
        return nullptr;
    // A recording gets one thumbnail: the pictures are let go (a window stays small after an import).
    FramePtr picture = std::move(startUs == 0 ? m_first : m_atThumbnailTime);
    *ts = startUs == 0 ? m_firstTs : m_keptThumbnailTs;
    Clear();
    return picture;
}

} // namespace tq9media

extern "C" TQ9MEDIA_API Tq9PictureMemo* Tq9PictureMemoCreate(void)
{
    return new (std::nothrow) Tq9PictureMemo();
}

extern "C" TQ9MEDIA_API void Tq9PictureMemoFree(Tq9PictureMemo* memo)
{
    delete memo;
}
