// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/job.hpp"
#include "model/result.hpp"

#include "analysis/musical_analysis.hpp"
#include "analysis/song_analysis.hpp"

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace tonfield::analysis {

// The rate every source is decoded at for the analysis.
inline constexpr int analysisRate = 44100;

// The files a job is analysed from: the rhythm from its drums stem, the
// harmony from its pitched stems (or its accompaniment), each from its input
// where it has no such stem.
struct AnalysisFiles {
    std::filesystem::path rhythm;
    std::vector<std::filesystem::path> harmony;
    std::optional<std::filesystem::path> bass; // one of `harmony`, which also votes on the roots

    // Every file once, the rhythm's first: what the stored analysis is stamped with.
    std::vector<std::filesystem::path> all() const;
};
AnalysisFiles analysisFiles(const std::filesystem::path& engineRoot, const Job& job);

// A whole audio file as mono samples at analysisRate, or why not.
using DecodeMono = std::function<Result<std::vector<float>>(const std::filesystem::path&)>;
// The analysis of decoded sources, or why none can be made.
using AnalyzeSources = std::function<Result<MusicalAnalysis>(const AnalysisSources&)>;
// Hears the fraction done and answers false to stop (which fails the analysis).
using AnalysisProgress = std::function<bool(double fraction)>;

// A job's analysis: the one stored in its analysis.json while its sources are
// unchanged, else decoded, made again and stored (a store that fails is not
// the analysis's failure: it is made again next time).
//
// Threading: any thread but the window's; it decodes whole files.
Result<MusicalAnalysis> analyzeJob(const std::filesystem::path& engineRoot, const Job& job,
                                   const DecodeMono& decode, const AnalyzeSources& analyze,
                                   const AnalysisProgress& progress);

// A single audio file's analysis, stored nowhere.
Result<MusicalAnalysis> analyzeFile(const std::filesystem::path& file, const DecodeMono& decode,
                                    const AnalyzeSources& analyze);

} // namespace tonfield::analysis
