// zarnix-emulated-bus COMMAND [ARGS...]: runs COMMAND with one emulated USB
// bridge, /dev/i2c-3, the simulated camera behind it, for a demonstration
// without hardware. scripts/emulated-bus.sh starts it under umockdev-wrapper;
// the camera lives as long as the command runs. Ctrl-C reaches both (they are
// in the terminal's foreground group): the bus goes with this program, and
// what the command still sends fails as on a bridge pulled out.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "emulated_bus.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s COMMAND [ARGS...]\n", argv[0]);
        return 2;
    }
    zarnix::test::CEmulatedBench bench;
    bench.AddUsbBridge(3);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execvp(argv[1], argv + 1);
        std::perror(argv[1]);
        ::_exit(127);
    }
    int status = 0;
    if (pid > 0)
        ::waitpid(pid, &status, 0); // no handlers here, so no signal breaks it off
    return pid < 0 ? 1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
