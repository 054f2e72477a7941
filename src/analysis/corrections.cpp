// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/corrections.hpp"

#include "analysis/bar_grid.hpp"

#include <algorithm>
#include <cmath>

namespace tonfield::analysis {
namespace {

std::vector<double> doubled(const std::vector<double>& beats)
{
    std::vector<double> result;
    for (std::size_t i = 0; i < beats.size(); ++i) {
        result.push_back(beats[i]);
        if (i + 1 < beats.size())
            result.push_back((beats[i] + beats[i + 1]) / 2);
    }
    return result;
}

// Every other beat, keeping the one at `keep`.
std::vector<double> halved(const std::vector<double>& beats, std::size_t keep)
{
    std::vector<double> result;
    for (std::size_t i = keep % 2; i < beats.size(); i += 2)
        result.push_back(beats[i]);
    return result;
}

} // namespace

MusicalAnalysis corrected(const MusicalAnalysis& analysis, const Corrections& corrections)
{
    MusicalAnalysis result = analysis;
    if (corrections.key)
        result.key = Key{corrections.key->tonic, corrections.key->minor, 1.0};
    if (analysis.beats.empty() || (corrections.tempoSteps == 0 && corrections.barShift == 0))
        return result;

    const double firstBar =
        analysis.downbeats.empty() ? analysis.beats.front() : analysis.downbeats.front();
    const int steps = std::clamp(corrections.tempoSteps, -Corrections::mostTempoSteps,
                                 Corrections::mostTempoSteps);
    for (int step = 0; step < steps; ++step)
        result.beats = doubled(result.beats);
    for (int step = 0; step > steps && result.beats.size() > 1; --step)
        result.beats = halved(result.beats, nearestIndex(result.beats, firstBar));
    result.tempo = analysis.tempo * std::pow(2.0, steps);

    // Bars: every meter-th beat from the (shifted) first one.
    const int meter = std::max(analysis.meter, 1);
    const auto shift = static_cast<std::size_t>(((corrections.barShift % meter) + meter) % meter);
    const auto bar = static_cast<std::size_t>(meter);
    const std::size_t first = (nearestIndex(result.beats, firstBar) + shift) % bar;
    result.downbeats.clear();
    for (std::size_t i = first; i < result.beats.size(); i += bar)
        result.downbeats.push_back(result.beats[i]);
    return result;
}

} // namespace tonfield::analysis
