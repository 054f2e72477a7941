// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "analysis/musical_analysis.hpp"

#include <string>

namespace tonfield::analysis {

// The analysis as one JSON object:
//   {"input": "...", "duration": 212.4, "tempo": 118.9, "meter": 4,
//    "beats": [...], "downbeats": [...],
//    "key": {"tonic": "A", "mode": "minor", "confidence": 0.71},
//    "chords": [{"start": 0.0, "end": 2.02, "label": "N"}, ...]}
// Times to the millisecond; "key" is null when none was found.
std::string toJson(const MusicalAnalysis& analysis, const std::string& input);

// Two lines for a person: tempo, meter and key; how many beats, bars and
// chord changes.
std::string summary(const MusicalAnalysis& analysis, const std::string& input);

} // namespace tonfield::analysis
