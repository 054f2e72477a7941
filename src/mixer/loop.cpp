// SPDX-License-Identifier: GPL-3.0-or-later

#include "mixer/loop.hpp"

#include <algorithm>
#include <cmath>

namespace tonfield::mixer {

std::optional<Loop> loopBetween(double from, double to, double duration)
{
    const double start = std::clamp(std::min(from, to), 0.0, std::max(duration, 0.0));
    const double end = std::clamp(std::max(from, to), 0.0, std::max(duration, 0.0));
    if (!(end - start >= shortestLoopSeconds))
        return std::nullopt;
    return Loop{start, end};
}

std::optional<Loop> withStart(const std::optional<Loop>& loop, double seconds, double duration)
{
    const double end = loop && loop->end - seconds >= shortestLoopSeconds ? loop->end : duration;
    return loopBetween(seconds, end, duration);
}

std::optional<Loop> withEnd(const std::optional<Loop>& loop, double seconds, double duration)
{
    const double start = loop && seconds - loop->start >= shortestLoopSeconds ? loop->start : 0;
    return loopBetween(start, seconds, duration);
}

double loopedPosition(double from, double played, const Loop& loop)
{
    const double linear = from + played;
    if (linear < loop.end || from >= loop.end || loop.length() <= 0)
        return linear;
    // The first pass ran up to the end, every later one from the loop's start.
    const double afterFirst = linear - loop.end;
    return loop.start + std::fmod(afterFirst, loop.length());
}

} // namespace tonfield::mixer
