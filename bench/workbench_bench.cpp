// The poll timer's tick while a job runs, with process.log at 1 MiB, 100 MiB
// and 1 GiB (its cost must not grow with the log), and refreshStems over an
// output folder of 2,000 files.

#include "workbench/workbench.hpp"

#include "model/job_layout.hpp"

#include "fakes/engine_fixture.hpp"
#include "fakes/fake_platform.hpp"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

namespace {
namespace fs = std::filesystem;
using namespace tonfield;

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
void growLog(const fs::path& log, std::int64_t bytes)
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

void BM_tickWhileRunning(benchmark::State& state)
{
    RunningJob job;
    growLog(job.jobFile("process.log"), state.range(0));
    for (auto _ : state)
        job.platform.timers.fireAll();
    state.SetLabel(std::to_string(state.range(0) >> 20) + " MiB log");
}
BENCHMARK(BM_tickWhileRunning)
    ->Arg(1 << 20)
    ->Arg(100 << 20)
    ->Arg(std::int64_t(1) << 30)
    ->Unit(benchmark::kMicrosecond);

void BM_refreshStems2000(benchmark::State& state)
{
    RunningJob job;
    job.platform.launcher.exit(1);
    for (int n = 0; n < 2000; ++n)
        test::writeFile(job.jobFile("output/stem " + std::to_string(n) + "_(Vocals).wav"), "");
    for (auto _ : state) {
        job.workbench->refreshStems();
        benchmark::DoNotOptimize(job.workbench->stems().size());
    }
}
BENCHMARK(BM_refreshStems2000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
