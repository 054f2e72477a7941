// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/song_analysis.hpp"

#include "analysis/beat_tracking.hpp"
#include "analysis/chord_tracking.hpp"
#include "analysis/key_finding.hpp"

#include <algorithm>
#include <cmath>

namespace tonfield::analysis {
namespace {

// Anything above the noise floor of a quiet recording (-80 dBFS): below it
// a song has no key, however its hiss happens to fall on the pitch classes.
bool audible(std::span<const float> samples)
{
    return std::any_of(samples.begin(), samples.end(),
                       [](float sample) { return std::abs(sample) > 1e-4f; });
}

} // namespace

MusicalAnalysis analyze(const AnalysisSources& sources)
{
    MusicalAnalysis analysis;
    if (sources.rate <= 0)
        return analysis;
    analysis.duration =
        static_cast<double>(std::max(sources.rhythm.size(), sources.harmony.size())) / sources.rate;
    BeatGrid grid = trackBeats(sources.rhythm, sources.rate);
    analysis.tempo = grid.tempo;
    analysis.meter = grid.meter;
    analysis.beats = std::move(grid.beats);
    analysis.downbeats = std::move(grid.downbeats);
    const ChromaFrames harmony = chromagramOf(sources.harmony, sources.rate);
    if (audible(sources.harmony))
        analysis.key = keyOfChroma(harmony);
    analysis.chords = trackChords(harmony, analysis.beats, analysis.duration,
                                  chromagramOf(sources.bass, sources.rate));
    return analysis;
}

} // namespace tonfield::analysis

// The library's one entry point (see adapters/song_analyzer.cpp).
extern "C" tonfield::analysis::AnalyzeSong tonfield_song_analyzer()
{
    return &tonfield::analysis::analyze;
}
