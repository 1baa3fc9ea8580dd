#include "medialib/GroupEncoder.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <sched.h>

namespace tq9media {

namespace {

constexpr int kMostInstances = 8; // each holds a few pictures in flight; more rarely pays on one decoder

// An instance's rate control runs ahead of its budget over its first groups and then settles (the start of
// any one-encoder file shows it). Every instance but the first codes the recording's first groups along with
// the first one, throwing its packets away, so it starts writing settled on the recording's own pictures;
// the excess of the start is then the first instance's alone, as with one encoder. Without it a 3 s file
// came out 48 % above its rate with two instances (20 % with one), 99 % with four.
constexpr size_t kWarmUpGroups = 2;

} // namespace

GroupEncoder::GroupEncoder(const Factory& open, int instances, Sink sink) : m_sink(std::move(sink))
{
    const auto add = [&] {
        m_instances.push_back(std::make_unique<Instance>());
        m_instances.back()->encoder = open();
    };
    add();
    const AVCodecContext* first = Encoder();
    // An encoder with delay would hold a group's last packets back until the next group: one instance.
    if (!(first->codec->capabilities & AV_CODEC_CAP_DELAY))
        while (static_cast<int>(m_instances.size()) < instances)
            add();
    // The encoder starts a group with a keyframe every gop_size pictures; ours are those same groups.
    m_groupSize = static_cast<size_t>(std::max(first->gop_size, 1));
    // Instances code groups that follow each other and settle a few pictures apart, so when one finishes a
    // group, the others are part way through theirs: the pictures of about a group for each but one keep
    // them busy, and a third of a group more carries them over the times the caller's decoding, sharing the
    // CPUs with them, is not running (on 2 CPUs 10 pictures left the instances waiting 0.2-0.3 s a minute,
    // 16 pictures 0.01 s, for 3 MB).
    m_mostWaiting = m_instances.size() > 1 ? (m_instances.size() - 1) * m_groupSize + m_groupSize / 3 : 2;
    m_mostInFlight = 2 * m_instances.size() + 1;
    m_warmUpPictures = m_instances.size() > 1 ? kWarmUpGroups * m_groupSize : 0;
    for (size_t i = 1; i < m_instances.size(); ++i)
        m_instances[i]->warming = m_warmUpPictures > 0;
    try {
        for (auto& instance : m_instances)
            m_workers.emplace_back([this, i = instance.get()] { Work(*i); });
    } catch (...) {
        StopWorkers();
        throw;
    }
    DebugLog("video: %zu encoder instances, groups of %zu pictures", m_instances.size(), m_groupSize);
}

GroupEncoder::~GroupEncoder()
{
    StopWorkers();
}

void GroupEncoder::StopWorkers()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_changed.notify_all();
    }
    for (auto& t : m_workers)
        if (t.joinable())
            t.join();
}

int GroupEncoder::InstancesForThisProcess()
{
    if (const char* v = std::getenv("TQ9_VIDEO_ENCODERS")) {
        const int n = std::atoi(v);
        if (n >= 1 && n <= 64)
            return n;
    }
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        return std::clamp(CPU_COUNT(&set), 1, kMostInstances);
    return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kMostInstances);
}

FramePtr GroupEncoder::TakeFrame(const AVFrame* like)
{
    FramePtr frame;
    {
        std::lock_guard lock(m_mutex);
        if (!m_spareFrames.empty()) {
            frame = std::move(m_spareFrames.back());
            m_spareFrames.pop_back();
        }
    }
    if (frame && frame->format == like->format && frame->width == like->width && frame->height == like->height) {
        // The encoder may still hold a reference to the buffer: then this gives the frame a new one.
        Check(av_frame_make_writable(frame.get()), "picture buffer");
        return frame;
    }
    frame = MakeFrame();
    frame->format = like->format;
    frame->width = like->width;
    frame->height = like->height;
    Check(av_frame_get_buffer(frame.get(), 16), "picture buffer"); // rows as tight as the copy allows
    return frame;
}

void GroupEncoder::Push(const AVFrame* picture)
{
    FramePtr frame = TakeFrame(picture);
    Check(av_frame_copy(frame.get(), picture), "copy picture");
    Check(av_frame_copy_props(frame.get(), picture), "copy picture");
    std::unique_lock lock(m_mutex);
    const auto newGroup = [&] { return m_inFlight.empty() || m_inFlight.back()->complete; };
    m_changed.wait(lock, [&] {
        // A warm-up picture may hold a buffer its group gave back already: it counts as one more.
        return m_error ||
            (m_waiting + m_warmUp.size() < m_mostWaiting && (!newGroup() || m_inFlight.size() < m_mostInFlight));
    });
    if (m_error)
        std::rethrow_exception(m_error);
    // A group's first picture is a keyframe, whichever instance codes it after whichever group.
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    if (newGroup()) {
        m_inFlight.push_back(std::make_unique<Group>());
        m_toCode.push_back(m_inFlight.back().get());
        frame->pict_type = AV_PICTURE_TYPE_I;
    }
    if (m_warmUpFront + m_warmUp.size() < m_warmUpPictures) {
        m_warmUp.push_back(MakeFrame());
        Check(av_frame_ref(m_warmUp.back().get(), frame.get()), "share picture");
    }
    Group& group = *m_inFlight.back();
    group.pictures.push_back(std::move(frame));
    ++m_waiting;
    group.complete = ++group.pushed == m_groupSize;
    m_changed.notify_all();
}

void GroupEncoder::Finish()
{
    std::unique_lock lock(m_mutex);
    if (!m_inFlight.empty())
        m_inFlight.back()->complete = true;
    m_finishing = true;
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return m_error || (m_inFlight.empty() && !m_writing); });
    lock.unlock();
    StopWorkers();
    if (m_error)
        std::rethrow_exception(m_error);
    for (const auto& i : m_instances)
        DebugLog("video: an instance coded %lld pictures and waited %.3f s for pictures",
            static_cast<long long>(i->coded), std::chrono::duration<double>(i->idle).count());
}

template <typename Predicate>
void GroupEncoder::Wait(Instance& instance, std::unique_lock<std::mutex>& lock, Predicate ready)
{
    if (ready())
        return;
    const auto from = std::chrono::steady_clock::now();
    m_changed.wait(lock, ready);
    instance.idle += std::chrono::steady_clock::now() - from;
}

void GroupEncoder::Work(Instance& instance)
{
    std::unique_lock lock(m_mutex);
    try {
        if (instance.warming)
            WarmUp(instance, lock);
        for (;;) {
            Wait(instance, lock, [&] { return m_stop || m_error || m_finishing || !m_toCode.empty(); });
            if (m_stop || m_error || m_toCode.empty())
                return;
            Group* group = m_toCode.front();
            m_toCode.pop_front();
            Code(instance, *group, lock);
            if (m_stop || m_error)
                return;
            group->coded = true;
            WriteCodedGroups(lock);
        }
    } catch (...) {
        if (!lock.owns_lock())
            lock.lock();
        if (!m_error)
            m_error = std::current_exception();
        m_changed.notify_all();
    }
}

// Called and returns with the lock held; codes without it.
void GroupEncoder::WarmUp(Instance& instance, std::unique_lock<std::mutex>& lock)
{
    std::optional<int64_t> shift;
    PacketPtr packet = MakePacket();
    while (instance.warmUpNext < m_warmUpPictures) {
        const auto available = [&] { return instance.warmUpNext < m_warmUpFront + m_warmUp.size(); };
        Wait(instance, lock, [&] { return m_stop || m_error || m_finishing || available(); });
        if (m_stop || m_error || !available())
            break; // stopped, or the recording is shorter than the warm-up
        FramePtr picture = MakeFrame();
        Check(av_frame_ref(picture.get(), m_warmUp[instance.warmUpNext - m_warmUpFront].get()), "share picture");
        ++instance.warmUpNext;
        DropWarmUpPictures();
        lock.unlock();
        if (!shift)
            shift = instance.at - picture->pts;
        picture->pts += *shift;
        instance.at = picture->pts + 1;
        Check(avcodec_send_frame(instance.encoder.get(), picture.get()), "encode video");
        while (avcodec_receive_packet(instance.encoder.get(), packet.get()) >= 0)
            av_packet_unref(packet.get());
        picture.reset();
        lock.lock();
    }
    instance.warming = false;
    DropWarmUpPictures();
}

// Under the lock: the warm-up pictures every warming instance has taken go.
void GroupEncoder::DropWarmUpPictures()
{
    size_t taken = m_warmUpPictures;
    for (const auto& i : m_instances)
        if (i->warming)
            taken = std::min(taken, i->warmUpNext);
    bool dropped = false;
    while (!m_warmUp.empty() && m_warmUpFront < taken) {
        m_warmUp.pop_front();
        ++m_warmUpFront;
        dropped = true;
    }
    if (dropped)
        m_changed.notify_all();
}

// Called and returns with the lock held; codes without it. The group's packets are this worker's until
// the group is marked coded.
void GroupEncoder::Code(Instance& instance, Group& group, std::unique_lock<std::mutex>& lock)
{
    // The rate control wants bit rate x picture time bits by each picture: on the file's time line an
    // instance would spend the whole file's budget on its share of the pictures. Gaps inside a group stay.
    std::optional<int64_t> shift;
    PacketPtr packet = MakePacket();
    for (;;) {
        Wait(instance, lock, [&] { return m_stop || m_error || !group.pictures.empty() || group.complete; });
        if (m_stop || m_error || group.pictures.empty())
            return;
        FramePtr picture = std::move(group.pictures.front());
        group.pictures.pop_front();
        --m_waiting;
        m_changed.notify_all(); // room for the caller
        lock.unlock();
        if (!shift)
            shift = instance.at - picture->pts;
        picture->pts += *shift;
        instance.at = picture->pts + 1;
        ++instance.coded;
        Check(avcodec_send_frame(instance.encoder.get(), picture.get()), "encode video");
        for (;;) {
            const int rc = avcodec_receive_packet(instance.encoder.get(), packet.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                break;
            Check(rc, "encode video");
            packet->pts -= *shift;
            packet->dts -= *shift;
            group.packets.push_back(std::move(packet));
            packet = MakePacket();
        }
        lock.lock();
        m_spareFrames.push_back(std::move(picture));
    }
}

// One worker at a time hands the groups at the front that are coded to the sink, outside the lock; a worker
// that codes a later group meanwhile leaves it to that one.
void GroupEncoder::WriteCodedGroups(std::unique_lock<std::mutex>& lock)
{
    if (m_writing)
        return;
    m_writing = true;
    try {
        while (!m_stop && !m_error && !m_inFlight.empty() && m_inFlight.front()->coded) {
            std::unique_ptr<Group> group = std::move(m_inFlight.front());
            m_inFlight.pop_front();
            m_changed.notify_all(); // room for the caller
            lock.unlock();
            for (auto& p : group->packets)
                m_sink(p.get());
            group.reset();
            lock.lock();
        }
    } catch (...) {
        if (!lock.owns_lock())
            lock.lock();
        m_writing = false;
        throw;
    }
    m_writing = false;
    m_changed.notify_all();
}

} // namespace tq9media
