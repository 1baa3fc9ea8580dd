#include "cli/CliProgress.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <iostream>

#include "cli/ShownName.h"
#include "platform/UniqueFd.h"
#include "res/ByteSize.h"
#include "res/MessageCatalogue.h"

namespace tq9::cli {

namespace {

constexpr int kPollMs = 100;
constexpr auto kPlainInterval = std::chrono::seconds(1);

// Written by the signal handler: both are async-signal-safe (lock-free atomic, write on an eventfd).
std::atomic<bool> g_interrupted{false};
CUniqueFd g_wakeFd;
struct sigaction g_oldInt {};
struct sigaction g_oldTerm {};

static_assert(std::atomic<bool>::is_always_lock_free);

// Ends RunModal's wait at once. Async-signal-safe.
void wakeRunModal()
{
    if (g_wakeFd.IsOpen()) {
        const uint64_t one = 1;
        const int saved = errno;
        [[maybe_unused]] ssize_t n = ::write(g_wakeFd.Get(), &one, sizeof one);
        errno = saved;
    }
}

void onSignal(int)
{
    g_interrupted.store(true);
    wakeRunModal();
}

} // namespace

CCliProgress::CCliProgress(bool finishedAfterJob)
    : m_terminal(::isatty(STDERR_FILENO) == 1), m_finishedAfterJob(finishedAfterJob)
{
    g_interrupted.store(false);
    g_wakeFd.Reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, &g_oldInt);
    ::sigaction(SIGTERM, &sa, &g_oldTerm);
}

CCliProgress::~CCliProgress()
{
    ::sigaction(SIGINT, &g_oldInt, nullptr);
    ::sigaction(SIGTERM, &g_oldTerm, nullptr);
    g_wakeFd.Reset();
}

void CCliProgress::ShowFinished()
{
    std::cerr << CMessageCatalogue::Get(IDS_CONVERTING_FINISHED) << "\n" << std::flush;
}

std::string CCliProgress::LockWaitText(const std::string& folder)
{
    return "waiting for another run writing into " + CShownName::Of(folder) + " (Ctrl-C cancels)";
}

bool CCliProgress::Interrupted() const
{
    return g_interrupted.load();
}

void CCliProgress::WorkerEnded()
{
    wakeRunModal();
}

int CCliProgress::RunModal(IConvProgress& job)
{
    for (;;) {
        if (g_interrupted.load()) {
            CancelJob(job);
            Show(job, STATE_CANCELED, true);
            return FRONTEND_CANCELED;
        }
        // Read the state before the rest, as the dialog does, so the final line shows the final count.
        const int state = job.GetState();
        Show(job, state, state != STATE_RUNNING);
        if (state != STATE_RUNNING)
            return FRONTEND_FINISHED;
        pollfd pfd{g_wakeFd.Get(), POLLIN, 0};
        if (::poll(&pfd, g_wakeFd.IsOpen() ? 1 : 0, kPollMs) > 0) {
            uint64_t count = 0;
            [[maybe_unused]] ssize_t n = ::read(g_wakeFd.Get(), &count, sizeof count);
        }
    }
}

void CCliProgress::Show(IConvProgress& job, int state, bool last)
{
    const ProgressTextIds ids = ProgressTextsFor(job);
    const int count = job.GetFileCount();
    const int index = job.GetFileIndex();
    const int percent = job.GetPercent();
    std::string line = FormatText(CMessageCatalogue::Get(ids.counter), std::min(index, count), count);
    const std::string waitingFor = state == STATE_RUNNING ? job.GetWaitingFor() : std::string();
    const PlacementProgress placement = state == STATE_RUNNING ? job.GetPlacement() : PlacementProgress{};
    if (waitingFor.empty() && placement.active) {
        line += "  " + CMessageCatalogue::Get(IDS_COPYING_TO_CARD) + "  " +
                FormatText(CMessageCatalogue::Get(IDS_BYTES_OF), CByteSize::Text(placement.done),
                           CByteSize::Text(placement.total));
    } else if (!waitingFor.empty()) {
        line += "  " + LockWaitText(waitingFor);
    } else if (state == STATE_RUNNING) {
        line += "  " + std::to_string(percent) + "%";
        if (const auto left = m_timeLeft.Estimate(index, count, percent))
            line += "  " + FormatText(CMessageCatalogue::Get(IDS_TIME_LEFT), CTimeLeft::Text(*left));
        const std::string current = job.GetCurrentFileName();
        if (!current.empty() && percent < job.GetPercentMax())
            line += "  " + FormatText(CMessageCatalogue::Get(ids.file), CShownName::Of(current));
    } else {
        if (ids.Ending(state) != IDS_CONVERTING_FINISHED || !m_finishedAfterJob)
            line += "  " + ProgressEndingText(job, state);
    }

    const auto now = std::chrono::steady_clock::now();
    if (m_terminal) {
        if (line != m_lastLine || last)
            std::cerr << "\r\033[K" << line << (last ? "\n" : "") << std::flush;
    } else if (last || (line != m_lastLine && (!m_printed || now - m_lastPrint >= kPlainInterval))) {
        std::cerr << line << "\n" << std::flush;
        m_lastPrint = now;
        m_printed = true;
    } else {
        return; // keep m_lastLine at what was printed, so the change is shown next time
    }
    m_lastLine = line;
}

} // namespace tq9::cli
