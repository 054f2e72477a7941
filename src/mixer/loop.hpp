// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <optional>

namespace tonfield::mixer {

// A stretch of the mix played over and over, in seconds.
struct Loop {
    double start = 0;
    double end = 0;

    double length() const { return end - start; }
    bool contains(double seconds) const { return seconds >= start && seconds < end; }
    bool operator==(const Loop&) const = default;
};

// The shortest loop there is: shorter drags are clicks.
constexpr double shortestLoopSeconds = 0.1;

// The loop between two points of a drag, in either order, kept within the
// mix; none when it would be shorter than the shortest loop.
std::optional<Loop> loopBetween(double from, double to, double duration);

// The loop with its start (or end) moved to `seconds`: the other side stays
// when that still leaves a loop, else it goes to the mix's end (or start).
std::optional<Loop> withStart(const std::optional<Loop>& loop, double seconds, double duration);
std::optional<Loop> withEnd(const std::optional<Loop>& loop, double seconds, double duration);

// Where in the mix a player is after `played` seconds of continuous output
// that began at `from`, when every pass through the loop's end went back to
// its start: unchanged until the end is first reached.
double loopedPosition(double from, double played, const Loop& loop);

} // namespace tonfield::mixer
