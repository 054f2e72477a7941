// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// A job running over fakes, and a log grown to any size, for the benchmarks
// of the tick and of the window's redraw.

#include "fakes/fake_workbench.hpp"

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace tonfield::bench {
namespace fs = std::filesystem;

// A job started over fakes, left running.
struct RunningJob : test::FakeWorkbench {
    RunningJob()
        : FakeWorkbench("song.wav")
    {
        startJob();
    }
};

// A log of the given size whose last mebibyte is engine text; the rest is a
// hole in the file, so even 1 GiB costs no disk.
inline void growLog(const fs::path& log, std::int64_t bytes)
{
    const std::int64_t textBytes = 1 << 20;
    const int fd = ::open(log.c_str(), O_WRONLY | O_TRUNC);
    if (fd < 0 || ::ftruncate(fd, bytes - textBytes) != 0)
        std::abort();
    ::lseek(fd, 0, SEEK_END);
    std::string line = "\r分离进度  42% 模型就绪 Starting separation process\n";
    std::string text;
    while (static_cast<std::int64_t>(text.size()) < textBytes)
        text += line;
    text.resize(textBytes);
    if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        std::abort();
    ::close(fd);
}

} // namespace tonfield::bench
