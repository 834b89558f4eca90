#include "cli/stop_signal.h"

#include <cerrno>
#include <csignal>

#include <poll.h>

namespace zarnix::cli {

namespace {

volatile std::sig_atomic_t g_signal = 0;

extern "C" void NoteStopSignal(int signal)
{
    // Both signals are blocked while this runs (sa_mask), so the first one stays.
    if (g_signal == 0)
        g_signal = signal;
}

} // namespace

void CatchStopSignals()
{
    struct sigaction action {};
    action.sa_handler = NoteStopSignal;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool WaitForInputUnlessStopped(int fd)
{
    // Held off between the look at the flag and the wait; ppoll lets them in
    // only while it waits, so a signal either came before the look or ends the wait.
    sigset_t stops;
    sigset_t before;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigprocmask(SIG_BLOCK, &stops, &before);
    sigset_t waiting = before;
    sigdelset(&waiting, SIGINT);
    sigdelset(&waiting, SIGTERM);
    bool input = false;
    while (!input && g_signal == 0) {
        pollfd poll{fd, POLLIN, 0};
        const int ready = ppoll(&poll, 1, nullptr, &waiting);
        // A fault of the descriptor is the read's to report.
        input = ready > 0 || (ready < 0 && errno != EINTR);
    }
    sigprocmask(SIG_SETMASK, &before, nullptr);
    return input && g_signal == 0;
}

int StopSignal() { return g_signal; }

const char* StopSignalName() { return g_signal == SIGTERM ? "SIGTERM" : "SIGINT"; }

int StopExitStatus() { return 128 + g_signal; }

} // namespace zarnix::cli
