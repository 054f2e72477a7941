// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/analyze_command.hpp"

#include "model/job_layout.hpp"
#include "model/result.hpp"
#include "workbench/workbench.hpp"

#include "adapters/song_analyzer.hpp"
#include "adapters/song_decoder.hpp"
#include "analysis/analysis_report.hpp"
#include "analysis/analysis_store.hpp"
#include "analysis/job_analysis.hpp"

#include <algorithm>
#include <iostream>
#include <optional>

namespace tonfield::cli {

int analyze(const Workbench* workbench, const std::vector<std::string>& inputs, bool json)
{
    namespace fs = std::filesystem;
    adapters::FfmpegSongDecoder decoder;
    const analysis::DecodeMono decode = [&](const fs::path& file) {
        return decoder.decodeMono(file);
    };
    adapters::QmDspSongAnalyzer analyzer;
    const analysis::AnalyzeSources analyzeSong = [&](const analysis::AnalysisSources& sources) {
        return analyzer.analyze(sources);
    };
    std::vector<std::string> results;
    bool failed = false;
    for (const std::string& input : inputs) {
        std::error_code ec;
        Result<analysis::MusicalAnalysis> found =
            Result<analysis::MusicalAnalysis>::failed(input + ": 不是音频文件，也不是任务编号");
        if (fs::is_regular_file(input, ec)) {
            found = analysis::analyzeFile(input, decode, analyzeSong);
        } else if (workbench && workbench->engineRoot()) {
            const auto& jobs = workbench->jobs();
            const auto job = std::find_if(jobs.begin(), jobs.end(), [&](const Job& candidate) {
                return candidate.id == input;
            });
            if (job != jobs.end()) {
                // As the window shows it: with the user's corrections.
                found = analysis::analyzeJob(*workbench->engineRoot(), *job, decode, analyzeSong,
                                             [](double) { return true; });
                if (found)
                    found =
                        analysis::corrected(*found, analysis::readCorrections(layout::analysisFile(
                                                        *workbench->engineRoot(), job->id)));
            }
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
