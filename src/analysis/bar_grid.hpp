// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "analysis/musical_analysis.hpp"

#include <cstddef>
#include <optional>
#include <vector>

namespace tonfield::analysis {

// A stretch of the song, in seconds.
struct Span {
    double start = 0;
    double end = 0;
    bool operator==(const Span&) const = default;
};

// The index of the time in `rising` (not empty) nearest `at`.
std::size_t nearestIndex(const std::vector<double>& rising, double at);

// What a dragged stretch snaps to.
enum class Snap { bars, beats, free };

// The stretch between two points of a drag, each end on the nearest bar line
// (or beat); the song's end counts as one. Ends that meet on one line take
// the bar (beat) after it, so a short drag still selects one whole bar.
// Free, or where there is no line to snap to, the points themselves.
Span snappedSpan(const MusicalAnalysis& analysis, double from, double to, Snap snap);

// The bar that holds `at`: from its bar line to the next (or the song's end);
// none before the first bar line or without bars.
std::optional<Span> barAround(const MusicalAnalysis& analysis, double at);

// The stretch moved by whole bars (back where negative): its ends go to the
// bar lines nearest them, that many bars on. None where it would leave the
// song.
std::optional<Span> movedByBars(const MusicalAnalysis& analysis, Span span, int bars);

} // namespace tonfield::analysis
