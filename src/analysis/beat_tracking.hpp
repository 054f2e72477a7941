// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <span>
#include <vector>

namespace tonfield::analysis {

struct BeatGrid {
    std::vector<double> beats;     // seconds
    std::vector<double> downbeats; // seconds, each one of `beats`
    int meter = 4;
    double tempo = 0; // beats a minute, from the median beat interval
};

// The beats of mono audio at `rate`, by the Queen Mary beat tracker (the
// complex spectral difference onset function, TempoTrackV2's tempo and beat
// paths), moved half a beat where the low end and the harmony show that it
// followed the off-beats, and its bars by qm-dsp's DownBeat, which puts bar lines where the
// spectrum changes most from beat to beat; the meter is whichever of three or
// four beats a bar shows that change more clearly. Fewer than two beats: no
// grid. Runs on the calling thread; minutes of audio take about a second.
BeatGrid trackBeats(std::span<const float> mono, int rate);

} // namespace tonfield::analysis
