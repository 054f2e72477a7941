// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "analysis/musical_analysis.hpp"

#include <array>
#include <span>
#include <vector>

namespace tonfield::analysis {

using Chroma = std::array<double, 12>; // energy a pitch class, C first

// The chromagram of mono audio at `rate` (qm-dsp's constant-Q chromagram, C3
// to C7, a third of a semitone a bin, folded to semitones), one frame every
// `hopSeconds`; frame i is centred on (i + 0.5) * hopSeconds.
struct ChromaFrames {
    std::vector<Chroma> frames;
    double hopSeconds = 0;
};
ChromaFrames chromagramOf(std::span<const float> mono, int rate);

// The chord of each span of a song, given the chroma summed over each: 24
// triad templates and no chord, smoothed over time by Viterbi decoding, so a
// passing note does not make a chord; where the bass's chroma is given for
// the same spans, it votes on the root. Each result is a state: 2 * root
// (+ 1 when minor) for a triad, noChord otherwise.
inline constexpr int noChord = 24;
std::vector<int> decodeChords(const std::vector<Chroma>& spans,
                              const std::vector<Chroma>& bass = {});

// The chord sequence of a song `duration` seconds long: the chromagram summed
// between consecutive beats (or over half-second steps without beats),
// decoded (with the bass's chromagram, when not empty, voting on the root),
// and neighbours with the same chord joined; back to back from 0.
std::vector<ChordSpan> trackChords(const ChromaFrames& chroma, const std::vector<double>& beats,
                                   double duration, const ChromaFrames& bass = {});

} // namespace tonfield::analysis
