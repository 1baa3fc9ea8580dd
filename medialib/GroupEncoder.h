// Internal to the media library: a video encoder that codes closed groups of pictures (each starts with a
// keyframe and is the encoder's group size long) on several encoder instances at once, one thread each, and
// hands the packets on in picture order. Only an encoder without delay (a packet per picture, as wmv2) gets
// more than one instance.
//
// Each instance is opened with the whole bit rate and sees its groups one after the other on a time line of
// its own: its rate control aims at the bit rate over the time of the pictures it codes (it budgets by the
// pictures' times), so every instance gets the share of its pictures and the file keeps its rate. The
// packets get the pictures' own times back. The instances but the first settle their rate control on the
// recording's first groups before they write (see kWarmUpGroups). Measured on 60 s recordings, noisy and
// clean: two instances write 0.1-0.2 % more bits than one, four 0.3-0.8 %, PSNR within 0.1 dB of one
// encoder's. Dividing the rate control's tolerance among them hit the rate exactly but cost 0.3-1 dB.
//
// Threads: Push and Finish on one caller thread; the sink runs on a worker thread, one packet at a time, in
// picture order. m_mutex guards the fields under "shared"; each worker alone touches its instance.
#pragma once

#include "medialib/Ffmpeg.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tq9media {

class GroupEncoder {
public:
    using Factory = std::function<CodecContextPtr()>; // one opened encoder instance; called once per instance
    using Sink = std::function<void(AVPacket*)>;      // takes the packet's data

    GroupEncoder(const Factory& open, int instances, Sink sink);
    // Stops without handing on what is left (the run failed or was stopped).
    ~GroupEncoder();
    GroupEncoder(const GroupEncoder&) = delete;
    GroupEncoder& operator=(const GroupEncoder&) = delete;

    // The first instance, for the stream's parameters (all are opened alike).
    const AVCodecContext* Encoder() const { return m_instances.front()->encoder.get(); }
    int Instances() const { return static_cast<int>(m_instances.size()); }

    // Copies one picture (planar YUV 4:2:0 of the encoder's size, pts in its time base) into the group it
    // belongs to, which an instance may be coding already. Waits while enough pictures wait for the
    // instances. Rethrows what a worker failed with.
    void Push(const AVFrame* picture);
    // Codes what is left and waits until every packet went to the sink. Rethrows what a worker failed with.
    void Finish();

    // The instances for this process: the CPUs it may run on (so taskset limits it), up to 8;
    // TQ9_VIDEO_ENCODERS=N sets the number (tests, comparisons).
    static int InstancesForThisProcess();

private:
    struct Group {
        std::deque<FramePtr> pictures; // pushed, not yet taken by its instance
        size_t pushed = 0;
        bool complete = false; // every picture of the group was pushed
        bool coded = false;
        std::vector<PacketPtr> packets;
    };

    // One encoder and what its worker alone touches.
    struct Instance {
        CodecContextPtr encoder;
        int64_t at = 0; // the instance's own time line: where its next group starts
        int64_t coded = 0;
        size_t warmUpNext = 0; // the next of the warm-up pictures it codes
        bool warming = false;
        std::chrono::steady_clock::duration idle{}; // waiting for pictures (the debug log reports it)
    };

    void Work(Instance& instance);
    void WarmUp(Instance& instance, std::unique_lock<std::mutex>& lock);
    void DropWarmUpPictures();
    // Codes a group as its pictures come.
    void Code(Instance& instance, Group& group, std::unique_lock<std::mutex>& lock);
    template <typename Predicate>
    void Wait(Instance& instance, std::unique_lock<std::mutex>& lock, Predicate ready);
    void WriteCodedGroups(std::unique_lock<std::mutex>& lock);
    FramePtr TakeFrame(const AVFrame* like);
    void StopWorkers();

    std::vector<std::unique_ptr<Instance>> m_instances;
    Sink m_sink;
    size_t m_groupSize = 1;
    size_t m_mostWaiting = 1;  // pictures pushed and not yet coded
    size_t m_mostInFlight = 1; // groups not yet handed to the sink

    // shared
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::unique_ptr<Group>> m_inFlight; // in picture order, until handed to the sink
    std::deque<Group*> m_toCode;                   // of those, the ones no instance took yet
    size_t m_waiting = 0;                          // pictures pushed and not yet taken
    size_t m_warmUpPictures = 0;                   // how many of the first pictures the others code first
    std::deque<FramePtr> m_warmUp;                 // those, shared, until every instance coded them
    size_t m_warmUpFront = 0;                      // the number of m_warmUp.front()
    std::vector<FramePtr> m_spareFrames;           // coded pictures' buffers, for reuse
    bool m_writing = false;                        // a worker is handing groups to the sink
    bool m_finishing = false;
    std::atomic<bool> m_stop{false};               // also read by a worker while it codes
    std::exception_ptr m_error;

    std::vector<std::thread> m_workers;
};

} // namespace tq9media
