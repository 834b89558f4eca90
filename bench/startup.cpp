// zarnix_startup: how long the window takes to come up, and how much memory the
// window and the command-line tool take.
//
// The window is started with its hidden --startup-probe option: it prints, for
// each stage of its start-up, the time (CLOCK_MONOTONIC, shared with us) and the
// time spent in pauses until then, and quits once it has first been painted. Our
// own start-up time is the wall time from before the process was spawned to the
// first paint, less those pauses (the splash's 2 s and the protocol's). Peak
// memory is the child's maximum resident set as wait4 reports it.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/machine.h"

extern char** environ;

using zarnix::bench::Median;
using zarnix::bench::MonotonicNs;

namespace {

#ifdef ZARNIX_CONTROLLER_PATH
const char* const kDefaultController = ZARNIX_CONTROLLER_PATH;
#else
const char* const kDefaultController = "";
#endif
const char* const kDefaultCtl = ZARNIXCTL_PATH;

struct CChild {
    bool ok = false;
    std::int64_t spawnedNs = 0; // just before the spawn
    std::int64_t endedNs = 0;   // once reaped
    long maxRssKb = 0;
    std::string out;            // what it printed on stdout
};

// Runs `args` to its end, its stdout collected, its stderr dropped.
CChild Run(const std::vector<std::string>& args)
{
    CChild child;
    int out[2];
    if (pipe(out) != 0)
        return child;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    for (const auto& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    child.spawnedNs = MonotonicNs();
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        std::fprintf(stderr, "zarnix_startup: cannot start %s: %s\n", argv[0], std::strerror(spawned));
        return child;
    }
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(out[0], buffer, sizeof buffer)) > 0)
        child.out.append(buffer, static_cast<std::size_t>(got));
    close(out[0]);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return child;
    child.endedNs = MonotonicNs();
    child.maxRssKb = usage.ru_maxrss;
    child.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!child.ok)
        std::fprintf(stderr, "zarnix_startup: %s ended with status %d\n", argv[0], status);
    return child;
}

struct CStamp {
    std::int64_t at = 0;     // CLOCK_MONOTONIC
    std::int64_t paused = 0; // pauses until then
};

struct CWindowRun {
    double startupMs = 0; // spawn to first paint, less the pauses
    double wallMs = 0;    // spawn to first paint
    double pausedMs = 0;
    double askedMs = 0;
    double loadMs = 0;        // spawn to main: the dynamic loader and static constructors
    double applicationMs = 0; // main to the application object
    double splashMs = 0;      // to the splash on the screen, backend opened
    double dialogMs = 0;      // the window object built from its template
    double firstPaintMs = 0;  // its start-up (search, refresh) and first paint, less the protocol's pauses
    long maxRssKb = 0;
};

bool ParseProbe(const CChild& child, CWindowRun& run)
{
    std::map<std::string, CStamp> stamps;
    std::istringstream lines(child.out);
    std::string word;
    while (lines >> word) {
        if (word == "stamp") {
            std::string stage;
            CStamp stamp;
            lines >> stage >> stamp.at >> stamp.paused;
            stamps[stage] = stamp;
        } else if (word == "asked_ms") {
            lines >> run.askedMs;
        }
    }
    for (const char* stage : {"main", "application", "splash", "window", "dialog", "shown"})
        if (!stamps.count(stage)) {
            std::fprintf(stderr, "zarnix_startup: the window did not report its stage '%s'\n", stage);
            return false;
        }
    auto work = [&stamps](const char* from, const char* to) {
        return static_cast<double>((stamps[to].at - stamps[from].at) - (stamps[to].paused - stamps[from].paused)) /
               1e6;
    };
    const CStamp& shown = stamps["shown"];
    run.wallMs = static_cast<double>(shown.at - child.spawnedNs) / 1e6;
    run.pausedMs = static_cast<double>(shown.paused) / 1e6;
    run.startupMs = run.wallMs - run.pausedMs;
    run.loadMs = static_cast<double>(stamps["main"].at - child.spawnedNs) / 1e6;
    run.applicationMs = work("main", "application");
    run.splashMs = work("application", "splash");
    run.dialogMs = work("window", "dialog");
    run.firstPaintMs = work("dialog", "shown");
    run.maxRssKb = child.maxRssKb;
    return true;
}

void Usage()
{
    std::fputs("Usage: zarnix_startup [--runs N] [--controller PATH] [--zarnixctl PATH]\n"
               "Starts the window on the simulated camera until it is first painted (on Qt's\n"
               "offscreen platform unless QT_QPA_PLATFORM says otherwise), and zarnixctl\n"
               "--simulate show; prints start-up time and peak memory, medians of N runs (default 5).\n",
               stderr);
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 5;
    std::string controller = kDefaultController;
    std::string ctl = kDefaultCtl;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc)
            runs = std::atoi(argv[++i]);
        else if (arg == "--controller" && i + 1 < argc)
            controller = argv[++i];
        else if (arg == "--zarnixctl" && i + 1 < argc)
            ctl = argv[++i];
        else {
            Usage();
            return arg == "--help" ? 0 : 2;
        }
    }
    if (runs < 1) {
        Usage();
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);

    std::printf("Start-up and memory, median of %d runs\n", runs);
    std::printf("machine: %s; load before: %s\n", zarnix::bench::MachineLine().c_str(),
                zarnix::bench::LoadLine().c_str());
    bool ok = true;
    bool startupMet = true;
    bool windowMemoryMet = true;
    if (!controller.empty()) {
        std::vector<CWindowRun> all;
        for (int r = 0; r < runs; ++r) {
            const CChild child = Run({controller, "--simulate", "--startup-probe"});
            CWindowRun run;
            if (!child.ok || !ParseProbe(child, run)) {
                ok = false;
                break;
            }
            all.push_back(run);
        }
        if (!all.empty()) {
            auto median = [&all](auto field) {
                std::vector<double> values;
                for (const auto& run : all)
                    values.push_back(static_cast<double>(field(run)));
                return Median(values);
            };
            const double startup = median([](const CWindowRun& r) { return r.startupMs; });
            const double rssMb = median([](const CWindowRun& r) { return r.maxRssKb; }) / 1024.0;
            startupMet = startup <= 150;
            windowMemoryMet = rssMb <= 60;
            std::printf("window (zarnix-controller --simulate, platform %s)\n", std::getenv("QT_QPA_PLATFORM"));
            std::printf("  start-up, less pauses     %8.1f ms   (target <= 150 ms: %s)\n", startup,
                        startupMet ? "met" : "MISSED");
            std::printf("    process start to main   %8.1f ms\n", median([](const CWindowRun& r) { return r.loadMs; }));
            std::printf("    application object      %8.1f ms\n",
                        median([](const CWindowRun& r) { return r.applicationMs; }));
            std::printf("    backend, splash shown   %8.1f ms\n", median([](const CWindowRun& r) { return r.splashMs; }));
            std::printf("    window built            %8.1f ms\n", median([](const CWindowRun& r) { return r.dialogMs; }));
            std::printf("    search, refresh, paint  %8.1f ms   (less their pauses)\n",
                        median([](const CWindowRun& r) { return r.firstPaintMs; }));
            std::printf("  wall time to first paint  %8.1f ms   of which pauses %.1f ms (asked %.0f ms)\n",
                        median([](const CWindowRun& r) { return r.wallMs; }),
                        median([](const CWindowRun& r) { return r.pausedMs; }),
                        median([](const CWindowRun& r) { return r.askedMs; }));
            std::printf("  peak resident memory      %8.1f MB   (target <= 60 MB: %s)\n", rssMb,
                        windowMemoryMet ? "met" : "MISSED");
        }
    }

    std::vector<double> rss;
    std::vector<double> wall;
    for (int r = 0; r < std::min(runs, 3); ++r) {
        const CChild child = Run({ctl, "--simulate", "show"});
        if (!child.ok) {
            ok = false;
            break;
        }
        rss.push_back(static_cast<double>(child.maxRssKb) / 1024.0);
        wall.push_back(static_cast<double>(child.endedNs - child.spawnedNs) / 1e6);
    }
    bool toolMemoryMet = true;
    if (!rss.empty()) {
        toolMemoryMet = Median(rss) <= 8;
        std::printf("tool (zarnixctl --simulate show), median of %zu runs\n", rss.size());
        std::printf("  peak resident memory      %8.1f MB   (target <= 8 MB: %s)\n", Median(rss),
                    toolMemoryMet ? "met" : "MISSED");
        std::printf("  wall time                 %8.1f ms   (nearly all of it the search and read-back pauses)\n", Median(wall));
    }
    std::printf("load after: %s\n", zarnix::bench::LoadLine().c_str());
    return ok ? 0 : 1;
}
