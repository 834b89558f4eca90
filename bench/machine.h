// What every benchmark prints beside its figures: the machine it ran on and how
// busy that machine was, since a shared machine's figures mean little without it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace zarnix::bench {

// "AMD EPYC, 2 cores, Linux 6.1.0-18-amd64"
std::string MachineLine();
// The 1, 5 and 15 minute load averages, as /proc/loadavg gives them.
std::string LoadLine();

// Nanoseconds on CLOCK_MONOTONIC, which every process on the machine shares.
std::int64_t MonotonicNs();

template <typename T>
T Median(std::vector<T> values)
{
    if (values.empty())
        return T{};
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

} // namespace zarnix::bench
