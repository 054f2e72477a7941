// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "analysis/musical_analysis.hpp"

#include <string>
#include <vector>

namespace tonfield::analysis {

// What a song is analysed from, mono at one rate: the rhythm from one signal
// (a drums stem where there is one), the harmony from another (the pitched
// stems, or the mix), and the bass stem, where there is one, to vote on the
// chords' roots.
struct AnalysisSources {
    int rate = 44100;
    std::vector<float> rhythm;
    std::vector<float> harmony;
    std::vector<float> bass;
};

// Beats, bars, tempo, key and chords. Runs on the calling thread, which must
// not be the window's: a four-minute song takes a few seconds.
MusicalAnalysis analyze(const AnalysisSources& sources);

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
