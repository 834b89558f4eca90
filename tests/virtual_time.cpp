// Preloaded into the programs the tests start on an emulated bus, whose clock
// is the real one: a sleep returns at once and moves CLOCK_MONOTONIC on by
// what it would have slept, so the protocol's pauses are kept as
// the program sees them and the test does not wait for them.
#include <dlfcn.h>
#include <time.h>

#include <atomic>

namespace {

constexpr long long kNanosPerSecond = 1000000000LL;
std::atomic<long long> g_skippedNs{0};

long long Nanos(const timespec& t) { return t.tv_sec * kNanosPerSecond + t.tv_nsec; }

template <typename F> F Real(const char* name) { return reinterpret_cast<F>(dlsym(RTLD_NEXT, name)); }

} // namespace

extern "C" __attribute__((visibility("default"))) int clock_gettime(clockid_t clock, timespec* t)
{
    static const auto real = Real<int (*)(clockid_t, timespec*)>("clock_gettime");
    const int r = real(clock, t);
    const long long now = Nanos(*t) + g_skippedNs;
    if (r == 0 && clock == CLOCK_MONOTONIC)
        *t = {static_cast<time_t>(now / kNanosPerSecond), static_cast<long>(now % kNanosPerSecond)};
    return r;
}

extern "C" __attribute__((visibility("default"))) int clock_nanosleep(clockid_t clock, int flags, const timespec* until,
                                                                      timespec* left)
{
    (void)left; // never interrupted
    timespec now{};
    clock_gettime(clock, &now);
    const long long wait = Nanos(*until) - ((flags & TIMER_ABSTIME) ? Nanos(now) : 0);
    g_skippedNs += wait > 0 ? wait : 0;
    return 0;
}
