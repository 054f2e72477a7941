// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/analyze_command.hpp"

#include "model/job_layout.hpp"
#include "model/result.hpp"
#include "model/stem_listing.hpp"
#include "workbench/workbench.hpp"

#include "adapters/audio_decoder.hpp"
#include "analysis/song_analysis.hpp"

#include <algorithm>
#include <iostream>

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

// The rhythm from the drums, the harmony from the pitched stems (or the
// accompaniment), each from the job's input where the job has no such stem.
Result<analysis::AnalysisSources> jobSources(const fs::path& engineRoot, const Job& job)
{
    analysis::AnalysisSources sources;
    sources.rate = analysisRate;
    std::vector<float> accompaniment;
    for (const Stem& stem : listStems(layout::outputFolder(engineRoot, job.id))) {
        const StemKind kind = stem.kind();
        const bool pitched = kind == StemKind::bass || kind == StemKind::other ||
                             kind == StemKind::guitar || kind == StemKind::piano;
        if (kind != StemKind::drums && !pitched && kind != StemKind::instrumental)
            continue;
        auto samples = decodeMono(stem.url);
        if (!samples)
            return Result<analysis::AnalysisSources>::failed(samples.failure());
        if (kind == StemKind::drums)
            sources.rhythm = std::move(*samples);
        else if (pitched)
            mixInto(sources.harmony, *samples);
        else
            accompaniment = std::move(*samples);
    }
    if (sources.harmony.empty())
        sources.harmony = std::move(accompaniment);
    if (sources.rhythm.empty() || sources.harmony.empty()) {
        auto mix = fileSources(layout::inputFolder(engineRoot, job.id) / job.filename);
        if (!mix)
            return mix;
        if (sources.rhythm.empty())
            sources.rhythm = std::move(mix->rhythm);
        if (sources.harmony.empty())
            sources.harmony = std::move(mix->harmony);
    }
    return sources;
}

} // namespace

int analyze(const Workbench* workbench, const std::vector<std::string>& inputs, bool json)
{
    std::vector<std::string> results;
    bool failed = false;
    for (const std::string& input : inputs) {
        std::error_code ec;
        Result<analysis::AnalysisSources> sources =
            Result<analysis::AnalysisSources>::failed(input + ": 不是音频文件，也不是任务编号");
        if (fs::is_regular_file(input, ec)) {
            sources = fileSources(input);
        } else if (workbench && workbench->engineRoot()) {
            const auto& jobs = workbench->jobs();
            const auto job = std::find_if(jobs.begin(), jobs.end(), [&](const Job& candidate) {
                return candidate.id == input;
            });
            if (job != jobs.end())
                sources = jobSources(*workbench->engineRoot(), *job);
        }
        if (!sources) {
            std::cerr << "tonfield: " << sources.failure() << '\n';
            failed = true;
            continue;
        }
        const analysis::MusicalAnalysis found = analysis::analyze(*sources);
        results.push_back(json ? analysis::toJson(found, input) : analysis::summary(found, input));
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
