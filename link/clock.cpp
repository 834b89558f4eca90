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

void CRealClock::Pause(unsigned ms)
{
    WakeOnTime();
    // An absolute deadline on CLOCK_MONOTONIC: a signal that wakes the thread early
    // cannot shorten the pause, the sleep just resumes towards the same instant.
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += static_cast<time_t>(ms / 1000);
    deadline.tv_nsec += static_cast<long>(ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

} // namespace zarnix
