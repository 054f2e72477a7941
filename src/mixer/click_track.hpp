// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <vector>

namespace tonfield::mixer {

// The metronome's beats, taken from the song's analysis: a click on every
// beat, the first of each bar accented.
struct ClickTrack {
    std::vector<double> beats;     // seconds, rising
    std::vector<double> downbeats; // the beats that start a bar
    int meter = 4;                 // beats a bar

    bool operator==(const ClickTrack&) const = default;
};

// How long a count-in before playing from `position` lasts: one bar at the
// pace of the beats around it; 0 for a track without two beats.
double countInSeconds(const ClickTrack& track, double position);

// The clicks as sound, at a fixed rate: each starts on its beat's own
// sample (the nearest to its time), the accented ones higher and louder.
// Before the first beat the beats go on backwards at the pace of the first
// two, so that a count-in before the song's start clicks in time with it.
//
// Built on any thread; render allocates nothing and may run on any one
// thread at a time.
class ClickSynth {
public:
    ClickSynth(const ClickTrack& track, int sampleRate);

    // Writes frames [first, first + count) of the clicks, interleaved over
    // `channels` (the same in each), into `out`; `first` may be negative.
    void render(long long first, float* out, std::size_t count, int channels) const;

    // The frame each click starts on, rising, and whether it is accented.
    const std::vector<long long>& onsets() const { return onsets_; }
    const std::vector<bool>& accents() const { return accents_; }

private:
    std::vector<long long> onsets_;
    std::vector<bool> accents_;
    std::vector<float> plain_, accented_; // one click's samples
};

} // namespace tonfield::mixer
