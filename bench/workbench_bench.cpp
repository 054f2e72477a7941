// SPDX-License-Identifier: GPL-3.0-or-later
// The poll timer's tick while a job runs, with process.log at 1 MiB, 100 MiB
// and 1 GiB (its cost must not grow with the log), and refreshStems over an
// output folder of 2,000 files, and one step of a queue of 1,000 and 10,000
// waiting jobs (its cost must not grow with the history).

#include "workbench/workbench.hpp"

#include "model/job_layout.hpp"

#include "running_job.hpp"

#include <benchmark/benchmark.h>

namespace {
using namespace tonfield;
using bench::growLog;
using bench::RunningJob;

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

// A job of the queue ends and the next one starts, with `waiting` jobs queued.
void BM_queueStep(benchmark::State& state)
{
    test::FakeWorkbench bench("song.wav");
    std::vector<std::filesystem::path> files;
    for (std::int64_t n = 0; n < state.range(0); ++n) {
        files.push_back(bench.temp / "album" / ("song " + std::to_string(n) + ".wav"));
        test::writeFile(files.back(), "audio");
    }
    bench.workbench->jobQueue().enqueue(files);
    for (auto _ : state)
        bench.platform.launcher.exit(1);
    state.SetLabel(std::to_string(state.range(0)) + " queued");
}
BENCHMARK(BM_queueStep)->Arg(1000)->Arg(10'000)->Iterations(200)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
