#include "cli/stop_signal.h"

#include <atomic>
#include <cerrno>
#include <csignal>

#include <poll.h>

#include "system/stop_check.h"

namespace zarnix::cli {

namespace {

// Read by every camera's worker, so an atomic rather than a sig_atomic_t (which
// only the thread that takes the signal may read safely); lock-free, so the
// handler may set it.
std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void NoteStopSignal(int signal)
{
    const int saved = errno;
    // The stop signals are blocked while this runs (sa_mask), so the first one stays.
    int none = 0;
    g_signal.compare_exchange_strong(none, signal);
    errno = saved;
}

// Ctrl-C, kill, and a terminal or ssh session that closed under the command.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

sigset_t StopSignalSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kStopSignals)
        sigaddset(&set, signal);
    return set;
}

} // namespace

void CatchStopSignals()
{
    struct sigaction action {};
    action.sa_handler = NoteStopSignal;
    action.sa_mask = StopSignalSet();
    action.sa_flags = 0;
    for (int signal : kStopSignals) {
        // A signal the caller set to ignored (nohup, a background job of a
        // script) stays ignored: the run was meant to outlive it.
        struct sigaction before {};
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN)
            continue;
        sigaction(signal, &action, nullptr);
    }
}

bool WaitForInputUnlessStopped(int fd)
{
    // Held off between the look at the flag and the wait; ppoll lets them in
    // only while it waits, so a signal either came before the look or ends the wait.
    const sigset_t stops = StopSignalSet();
    sigset_t before;
    sigprocmask(SIG_BLOCK, &stops, &before);
    sigset_t waiting = before;
    for (int signal : kStopSignals)
        sigdelset(&waiting, signal);
    bool input = false;
    // The time-out lets a stop through that came by no signal (a broken pipe).
    const timespec often{0, 100'000'000};
    while (!input && StopSignal() == 0) {
        pollfd poll{fd, POLLIN, 0};
        const int ready = ppoll(&poll, 1, &often, &waiting);
        // A fault of the descriptor is the read's to report.
        input = ready > 0 || (ready < 0 && errno != EINTR);
    }
    sigprocmask(SIG_SETMASK, &before, nullptr);
    return input && StopSignal() == 0;
}

void IgnoreBrokenPipes() { std::signal(SIGPIPE, SIG_IGN); }

int StopSignal()
{
    int signal = g_signal;
    if (signal == 0 && BrokenPipe() && g_signal.compare_exchange_strong(signal, SIGPIPE))
        return SIGPIPE;
    return g_signal;
}

const char* StopSignalName()
{
    switch (StopSignal()) {
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    case SIGPIPE:
        return "SIGPIPE";
    default:
        return "SIGINT";
    }
}

int StopExitStatus() { return 128 + StopSignal(); }

} // namespace zarnix::cli
