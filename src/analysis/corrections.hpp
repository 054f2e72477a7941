// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "analysis/musical_analysis.hpp"

#include <optional>

namespace tonfield::analysis {

// What the user set right where the analysis was wrong. Kept apart from the
// analysis, so that analysing the song again never undoes it.
struct Corrections {
    // Each step doubles (up) or halves (down) the beat: the tracker's usual
    // mistake is a tempo twice or half the felt one.
    int tempoSteps = 0;
    // Bar 1 starts this many beats after where the analysis put it.
    int barShift = 0;
    // The key, where the user named it.
    std::optional<Key> key;

    static constexpr int mostTempoSteps = 2;

    bool operator==(const Corrections&) const = default;
    bool any() const { return *this != Corrections(); }
};

// The analysis as the user corrected it: beats halved or doubled (halving
// keeps the beats that start bars), bars counted from the shifted first bar
// every `meter` beats, the user's key (confidence 1). Without corrections,
// the analysis itself.
MusicalAnalysis corrected(const MusicalAnalysis& analysis, const Corrections& corrections);

} // namespace tonfield::analysis
