#include "bench/machine.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <ctime>
#include <fstream>

namespace zarnix::bench {

namespace {

std::string CpuModel()
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("model name", 0) != 0)
            continue;
        const auto colon = line.find(':');
        if (colon != std::string::npos)
            return line.substr(line.find_first_not_of(" \t", colon + 1));
    }
    return "unknown CPU";
}

} // namespace

std::string MachineLine()
{
    utsname name{};
    uname(&name);
    return CpuModel() + ", " + std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " cores, " + name.sysname + " " +
           name.release;
}

std::string LoadLine()
{
    std::ifstream loadavg("/proc/loadavg");
    std::string one, five, fifteen;
    loadavg >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

std::int64_t MonotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

} // namespace zarnix::bench
