#include "link/clock.h"

#include <sys/prctl.h>

#include <cerrno>
#include <ctime>

namespace zarnix {

CRealClock::CRealClock() : m_origin(std::chrono::steady_clock::now()) {}

Micros CRealClock::Now() const
{
    return std::chrono::duration_cast<Micros>(std::chrono::steady_clock::now() - m_origin);
}

namespace {

// The kernel may wake a sleeper up to its thread's timer slack late (50 us by
// default) to batch wake-ups. A 5 ms pause repeated a thousand times in a
// transfer would gather that into tens of milliseconds, so the thread that keeps
// the protocol's pauses asks to be woken on time. Set once per thread.
void WakeOnTime()
{
    thread_local const bool set = [] {
        prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        return true;
    }();
    (void)set;
}

} // namespace

namespace {

constexpr long kNanosPerSecond = 1000000000L;

timespec Plus(timespec t, long nanos)
{
    t.tv_sec += static_cast<time_t>(nanos / kNanosPerSecond);
    t.tv_nsec += nanos % kNanosPerSecond;
    if (t.tv_nsec >= kNanosPerSecond) {
        t.tv_sec += 1;
        t.tv_nsec -= kNanosPerSecond;
    } else if (t.tv_nsec < 0) {
        t.tv_sec -= 1;
        t.tv_nsec += kNanosPerSecond;
    }
    return t;
}

bool Before(const timespec& a, const timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// Waking from a sleep takes this machine's scheduler about 40 to 150 us, and a
// thousand pauses gather that into a noticeable part of a transfer. So the sleep
// ends this much before the deadline and the rest is watched on the clock: at
// most this long a pause on a busy core, never a shorter pause.
constexpr long kWatchedEndNs = 150000;

} // namespace

void CRealClock::Pause(unsigned ms)
{
    WakeOnTime();
    // An absolute deadline on CLOCK_MONOTONIC: a signal that wakes the thread early
    // cannot shorten the pause, the sleep just resumes towards the same instant.
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const timespec deadline = Plus(now, static_cast<long>(ms) * 1000000L);
    if (ms > 0) {
        const timespec wake = Plus(deadline, -kWatchedEndNs);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &wake, nullptr) == EINTR) {
        }
    }
    do
        clock_gettime(CLOCK_MONOTONIC, &now);
    while (Before(now, deadline));
}

} // namespace zarnix
