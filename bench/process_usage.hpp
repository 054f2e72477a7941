// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// What this process uses: resident memory, CPU time and wake-ups so far.

#include <fstream>
#include <string>
#include <sys/resource.h>

namespace tonfield::bench {

inline long residentKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return 0;
}

inline double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Times any of its threads gave up the CPU to wait (for a timer, a file, an
// event): an idle program that keeps waking keeps the CPU from sleeping.
inline long wakeUps()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw;
}

} // namespace tonfield::bench
