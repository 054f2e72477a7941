// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/analyze_command.hpp"

#include "model/job_layout.hpp"
#include "model/result.hpp"
#include "model/stem_listing.hpp"
#include "workbench/workbench.hpp"

#include "adapters/audio_decoder.hpp"
#include "analysis/analysis_store.hpp"
#include "analysis/song_analysis.hpp"

#include <algorithm>
#include <iostream>
#include <optional>

namespace tonfield::cli {
namespace {

namespace fs = std::filesystem;
constexpr int analysisRate = 44100;

// The whole file as mono samples at analysisRate.
Result<std::vector<float>> decodeMono(const fs::path& file)
{
    auto decoder = adapters::openAudioDecoder(
        file, adapters::PcmFormat{.sampleRate = analysisRate, .channels = 1, .floatSamples = true});
    if (!decoder)
        return Result<std::vector<float>>::failed(decoder.failure());
    std::vector<float> samples;
    std::vector<float> block(1 << 16);
    while (const std::size_t bytes = (*decoder)->read(reinterpret_cast<char*>(block.data()),
                                                      block.size() * sizeof(float)))
        samples.insert(samples.end(), block.begin(),
                       block.begin() + static_cast<std::ptrdiff_t>(bytes / sizeof(float)));
    if (samples.empty())
        return Result<std::vector<float>>::failed(file.string() + ": 没有音频内容");
    return samples;
}

// Sums `from` into `into`, which grows as needed.
void mixInto(std::vector<float>& into, const std::vector<float>& from)
{
    if (into.size() < from.size())
        into.resize(from.size(), 0.0f);
    for (std::size_t i = 0; i < from.size(); ++i)
        into[i] += from[i];
}

Result<analysis::AnalysisSources> fileSources(const fs::path& file)
{
    auto samples = decodeMono(file);
    if (!samples)
        return Result<analysis::AnalysisSources>::failed(samples.failure());
    analysis::AnalysisSources sources;
    sources.rate = analysisRate;
    sources.rhythm = *samples;
    sources.harmony = std::move(*samples);
    return sources;
}

// The files a job is analysed from: the rhythm from its drums stem, the
// harmony from its pitched stems (or its accompaniment), each from its input
// where it has no such stem.
struct JobFiles {
    fs::path rhythm;
    std::vector<fs::path> harmony;
    std::optional<fs::path> bass; // one of `harmony`, which also votes on the roots

    std::vector<fs::path> all() const
    {
        std::vector<fs::path> files = harmony;
        if (std::find(files.begin(), files.end(), rhythm) == files.end())
            files.insert(files.begin(), rhythm);
        return files;
    }
};

JobFiles jobFiles(const fs::path& engineRoot, const Job& job)
{
    const fs::path input = layout::inputFolder(engineRoot, job.id) / job.filename;
    JobFiles files{.rhythm = input, .harmony = {}, .bass = {}};
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

Result<analysis::AnalysisSources> decodeJob(const JobFiles& files)
{
    analysis::AnalysisSources sources;
    sources.rate = analysisRate;
    auto rhythm = decodeMono(files.rhythm);
    if (!rhythm)
        return Result<analysis::AnalysisSources>::failed(rhythm.failure());
    sources.rhythm = std::move(*rhythm);
    for (const fs::path& file : files.harmony) {
        auto samples = decodeMono(file);
        if (!samples)
            return Result<analysis::AnalysisSources>::failed(samples.failure());
        mixInto(sources.harmony, *samples);
        if (file == files.bass)
            sources.bass = std::move(*samples);
    }
    return sources;
}

// A job's analysis: the one stored beside it while its sources are
// unchanged, else made again and stored.
Result<analysis::MusicalAnalysis> analyzeJob(const fs::path& engineRoot, const Job& job)
{
    const JobFiles files = jobFiles(engineRoot, job);
    const auto stamps = analysis::stampsOf(files.all());
    const fs::path stored = layout::analysisFile(engineRoot, job.id);
    if (auto known = analysis::readAnalysis(stored, stamps))
        return *known;
    auto sources = decodeJob(files);
    if (!sources)
        return Result<analysis::MusicalAnalysis>::failed(sources.failure());
    analysis::MusicalAnalysis found = analysis::analyze(*sources);
    if (auto written = analysis::writeAnalysis(stored, found, stamps, job.id); !written)
        std::cerr << "tonfield: " << written.failure() << '\n';
    return found;
}

} // namespace

int analyze(const Workbench* workbench, const std::vector<std::string>& inputs, bool json)
{
    std::vector<std::string> results;
    bool failed = false;
    for (const std::string& input : inputs) {
        std::error_code ec;
        Result<analysis::MusicalAnalysis> found =
            Result<analysis::MusicalAnalysis>::failed(input + ": 不是音频文件，也不是任务编号");
        if (fs::is_regular_file(input, ec)) {
            auto sources = fileSources(input);
            found = sources ? Result<analysis::MusicalAnalysis>(analysis::analyze(*sources))
                            : Result<analysis::MusicalAnalysis>::failed(sources.failure());
        } else if (workbench && workbench->engineRoot()) {
            const auto& jobs = workbench->jobs();
            const auto job = std::find_if(jobs.begin(), jobs.end(), [&](const Job& candidate) {
                return candidate.id == input;
            });
            if (job != jobs.end())
                found = analyzeJob(*workbench->engineRoot(), *job);
        }
        if (!found) {
            std::cerr << "tonfield: " << found.failure() << '\n';
            failed = true;
            continue;
        }
        results.push_back(json ? analysis::toJson(*found, input)
                               : analysis::summary(*found, input));
    }
    if (json) {
        const bool several = inputs.size() > 1;
        std::cout << (several ? "[" : "");
        for (std::size_t i = 0; i < results.size(); ++i)
            std::cout << (i ? "," : "") << results[i];
        std::cout << (several ? "]" : "") << (results.empty() && !several ? "" : "\n");
    } else {
        for (const std::string& text : results)
            std::cout << text;
    }
    return failed ? 1 : 0;
}

} // namespace tonfield::cli
