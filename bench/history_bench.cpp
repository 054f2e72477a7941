// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the history of 10,000 jobs against a plain read of the same 10,000
// record files: the ratio is what listing, decoding, checking and sorting cost
// on top of the file system.

#include "model/job_layout.hpp"
#include "model/job_store.hpp"

#include "job_folders.hpp"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>

namespace {
namespace fs = std::filesystem;
using namespace tonfield;

using bench::jobCount;

const fs::path& engineRoot()
{
    static const fs::path root = bench::makeJobFolders(false);
    return root;
}

void BM_loadHistory(benchmark::State& state)
{
    for (auto _ : state) {
        auto jobs = readHistory(engineRoot());
        if (jobs.size() != static_cast<std::size_t>(jobCount))
            state.SkipWithError("not every job was listed");
        benchmark::DoNotOptimize(jobs);
    }
}

// Read again with nothing changed, as the window re-reads at each step of a
// queue: only the files' identities are looked at.
void BM_loadHistoryAgain(benchmark::State& state)
{
    HistoryReader reader;
    reader.read(engineRoot());
    for (auto _ : state) {
        auto jobs = reader.read(engineRoot());
        if (jobs.size() != static_cast<std::size_t>(jobCount))
            state.SkipWithError("not every job was listed");
        benchmark::DoNotOptimize(jobs);
    }
}

void BM_plainRead(benchmark::State& state)
{
    for (auto _ : state) {
        std::size_t bytes = 0;
        for (const auto& entry : fs::directory_iterator(layout::jobsFolder(engineRoot()))) {
            std::ifstream in(entry.path() / "job.json", std::ios::binary);
            std::string content{std::istreambuf_iterator<char>(in), {}};
            bytes += content.size();
        }
        benchmark::DoNotOptimize(bytes);
    }
}

BENCHMARK(BM_loadHistory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_loadHistoryAgain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_plainRead)->Unit(benchmark::kMillisecond);

class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs)
            realTime[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> realTime;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    engineRoot(); // make the job folders before anything is timed
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (reporter.realTime.count("BM_loadHistory") && reporter.realTime.count("BM_plainRead"))
        std::printf("loadHistory / plain read of %d records: %.2f\n", jobCount,
                    reporter.realTime["BM_loadHistory"] / reporter.realTime["BM_plainRead"]);
    fs::remove_all(engineRoot());
}
