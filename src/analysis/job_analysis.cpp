// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/job_analysis.hpp"

#include "model/job_layout.hpp"
#include "model/stem_listing.hpp"

#include "analysis/analysis_store.hpp"

#include <algorithm>

namespace tonfield::analysis {
namespace {

namespace fs = std::filesystem;

// Sums `from` into `into`, which grows as needed.
void mixInto(std::vector<float>& into, const std::vector<float>& from)
{
    if (into.size() < from.size())
        into.resize(from.size(), 0.0f);
    for (std::size_t i = 0; i < from.size(); ++i)
        into[i] += from[i];
}

const std::string stopped = "分析已停止";

} // namespace

std::vector<fs::path> AnalysisFiles::all() const
{
    std::vector<fs::path> files = harmony;
    if (std::find(files.begin(), files.end(), rhythm) == files.end())
        files.insert(files.begin(), rhythm);
    return files;
}

AnalysisFiles analysisFiles(const fs::path& engineRoot, const Job& job)
{
    const fs::path input = layout::inputFolder(engineRoot, job.id) / job.filename;
    AnalysisFiles files{.rhythm = input, .harmony = {}, .bass = {}};
    std::optional<fs::path> accompaniment;
    for (const Stem& stem : listStems(layout::outputFolder(engineRoot, job.id))) {
        switch (stem.kind()) {
        case StemKind::drums:
            files.rhythm = stem.url;
            break;
        case StemKind::bass:
            files.bass = stem.url;
            files.harmony.push_back(stem.url);
            break;
        case StemKind::other:
        case StemKind::guitar:
        case StemKind::piano:
            files.harmony.push_back(stem.url);
            break;
        case StemKind::instrumental:
            accompaniment = stem.url;
            break;
        default:
            break;
        }
    }
    if (files.harmony.empty())
        files.harmony.push_back(accompaniment.value_or(input));
    return files;
}

Result<MusicalAnalysis> analyzeJob(const fs::path& engineRoot, const Job& job,
                                   const DecodeMono& decode, const AnalyzeSources& analyze,
                                   const AnalysisProgress& progress)
{
    using Made = Result<MusicalAnalysis>;
    const AnalysisFiles files = analysisFiles(engineRoot, job);
    const auto stamps = stampsOf(files.all());
    const fs::path stored = layout::analysisFile(engineRoot, job.id);
    if (auto known = readAnalysis(stored, stamps))
        return *known;

    // Decoding each file and the analysis itself take about as long each.
    const double steps = static_cast<double>(files.harmony.size()) + 2;
    double done = 0;
    auto next = [&] { return progress(++done / steps); };

    AnalysisSources sources;
    sources.rate = analysisRate;
    auto rhythm = decode(files.rhythm);
    if (!rhythm)
        return Made::failed(rhythm.failure());
    sources.rhythm = std::move(*rhythm);
    if (!next())
        return Made::failed(stopped);
    for (const fs::path& file : files.harmony) {
        auto samples =
            file == files.rhythm ? Result<std::vector<float>>(sources.rhythm) : decode(file);
        if (!samples)
            return Made::failed(samples.failure());
        mixInto(sources.harmony, *samples);
        if (file == files.bass)
            sources.bass = std::move(*samples);
        if (!next())
            return Made::failed(stopped);
    }
    auto found = analyze(sources);
    if (!found)
        return found;
    // A folder that cannot be written to costs only the time next time.
    (void)writeAnalysis(stored, *found, stamps, job.id);
    (void)next();
    return found;
}

Result<MusicalAnalysis> analyzeFile(const fs::path& file, const DecodeMono& decode,
                                    const AnalyzeSources& analyze)
{
    auto samples = decode(file);
    if (!samples)
        return Result<MusicalAnalysis>::failed(samples.failure());
    AnalysisSources sources;
    sources.rate = analysisRate;
    sources.rhythm = *samples;
    sources.harmony = std::move(*samples);
    return analyze(sources);
}

} // namespace tonfield::analysis
