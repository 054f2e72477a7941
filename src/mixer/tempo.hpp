// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

namespace tonfield::mixer {

// How fast and how high the mix plays, each kept while the other changes.
struct Tempo {
    static constexpr double slowest = 0.5;
    static constexpr double fastest = 1.5;
    static constexpr int lowest = -12; // semitones
    static constexpr int highest = 12;

    double speed = 1.0; // 0.7 plays at 70 %, the pitch kept
    int semitones = 0;  // -2 sounds a tone lower, the speed kept

    // Within the controls' ranges.
    Tempo clamped() const;
    // The frequency ratio of the transposition: 2 for +12.
    double pitchScale() const;
    bool isNeutral() const { return speed == 1.0 && semitones == 0; }
    bool operator==(const Tempo&) const = default;
};

} // namespace tonfield::mixer
