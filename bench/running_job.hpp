#pragma once

// A job running over fakes, and a log grown to any size, for the benchmarks
// of the tick and of the window's redraw.

#include "model/job_layout.hpp"
#include "workbench/workbench.hpp"

#include "fakes/engine_fixture.hpp"
#include "fakes/fake_platform.hpp"

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace tonfield::bench {
namespace fs = std::filesystem;

struct RunningJob {
    test::TempFolder temp;
    test::FakePlatform platform;
    std::shared_ptr<Workbench> workbench;

    RunningJob()
    {
        test::makeEngineFolder(temp / "Engine", true);
        platform.environment.currentDirectoryPath = temp / "Engine";
        test::writeFile(temp / "song.wav", "RIFF");
        workbench = Workbench::create(platform.services());
        workbench->importFile(temp / "song.wav");
        workbench->start();
    }
    fs::path jobFile(const std::string& name) const
    {
        return layout::jobFolder(temp / "Engine", workbench->selectedJob()->id) / name;
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
