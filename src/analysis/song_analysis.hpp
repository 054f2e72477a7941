// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "analysis/musical_analysis.hpp"

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
//
// Defined in the analysis library (libtonfield_analysis.so), which alone
// links qm-dsp and its numerical libraries: the program loads it on the
// first analysis (adapters/song_analyzer.cpp), so that a start pays nothing
// for them; tests link it directly.
MusicalAnalysis analyze(const AnalysisSources& sources);

using AnalyzeSong = MusicalAnalysis (*)(const AnalysisSources&);

} // namespace tonfield::analysis

// The analysis library's entry point: `analyze`.
extern "C" tonfield::analysis::AnalyzeSong tonfield_song_analyzer();
