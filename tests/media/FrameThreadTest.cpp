// The thread a conversion filters (and encodes) on: what it is given is worked in order and to the end,
// what fails on it reaches the caller, and a stopped run does not wait for the rest of its queue.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <vector>

#include "medialib/FrameThread.h"

using namespace tq9media;

namespace {

FramePtr Numbered(int64_t n)
{
    FramePtr frame = MakeFrame();
    frame->pts = n;
    return frame;
}

} // namespace

TEST(FrameThreadTest, WorksEveryFrameInOrderThenTheEndOnce)
{
    std::vector<int64_t> seen; // the work's alone until Finish returns
    int ends = 0;
    FrameThread thread(2, [&](AVFrame* frame) {
        if (frame)
            seen.push_back(frame->pts);
        else
            ++ends;
    });
    for (int64_t n = 0; n < 50; ++n)
        thread.Push(Numbered(n));
    thread.Finish();
    ASSERT_EQ(seen.size(), 50u);
    for (int64_t n = 0; n < 50; ++n)
        EXPECT_EQ(seen[static_cast<size_t>(n)], n);
    EXPECT_EQ(ends, 1);
}

TEST(FrameThreadTest, AFailureReachesTheCallerAndNothingAfterItIsWorked)
{
    std::atomic<int64_t> last{-1};
    FrameThread thread(1, [&](AVFrame* frame) {
        if (frame && frame->pts == 3)
            throw MediaError(AVERROR(EIO), "filter failed");
        if (frame)
            last = frame->pts;
    });
    bool thrown = false;
    try {
        for (int64_t n = 0; n < 100; ++n)
            thread.Push(Numbered(n));
        thread.Finish();
    } catch (const MediaError& e) {
        thrown = true;
        EXPECT_EQ(e.Status(), AVERROR(EIO));
    }
    EXPECT_TRUE(thrown);
    EXPECT_EQ(last.load(), 2);
}

TEST(FrameThreadTest, StoppingLeavesTheQueueUnworkedAndDoesNotWaitForIt)
{
    std::atomic<int> worked{0};
    std::atomic<bool> busy{false};
    const auto started = std::chrono::steady_clock::now();
    {
        FrameThread thread(8, [&](AVFrame*) {
            busy = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ++worked;
        });
        for (int64_t n = 0; n < 8; ++n)
            thread.Push(Numbered(n));
        while (!busy)
            std::this_thread::yield();
    } // stopped mid-frame, as a failed or cancelled run stops it
    EXPECT_EQ(worked.load(), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
}
