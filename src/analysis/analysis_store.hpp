// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/result.hpp"

#include "analysis/corrections.hpp"
#include "analysis/musical_analysis.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tonfield::analysis {

// What an analysis was made from: each file's name, size and time of last
// change. A stem separated again, edited or removed no longer matches.
struct SourceStamp {
    std::string name;
    std::uintmax_t bytes = 0;
    std::int64_t modifiedNanoseconds = 0;

    bool operator==(const SourceStamp&) const = default;
};
std::vector<SourceStamp> stampsOf(const std::vector<std::filesystem::path>& files);

// A job's analysis.json: {"sources": [{"name", "bytes", "modified"}...],
// "analysis": the form toJson gives, "user": the user's corrections}.
// The stored analysis, when the file is there, whole, of the right form, and
// made from exactly `sources`; none otherwise (then it is made again).
std::optional<MusicalAnalysis> readAnalysis(const std::filesystem::path& file,
                                            const std::vector<SourceStamp>& sources);
// Written whole or not at all; the user's corrections stored there stay.
Result<> writeAnalysis(const std::filesystem::path& file, const MusicalAnalysis& analysis,
                       const std::vector<SourceStamp>& sources, const std::string& input);

// The user's corrections, whatever the analysis beside them: {"tempoSteps":
// -2 to 2, "barShift": 0 or more, "key": {"tonic", "mode"} or null}. None
// where the file or its corrections are missing or damaged.
Corrections readCorrections(const std::filesystem::path& file);
// Written whole or not at all, keeping the analysis stored beside them.
Result<> writeCorrections(const std::filesystem::path& file, const Corrections& corrections);

// The analysis of toJson's form, or none when any part of it is missing, of
// the wrong kind or out of order (times must rise and lie in the song).
std::optional<MusicalAnalysis> fromJson(std::string_view text);

} // namespace tonfield::analysis
