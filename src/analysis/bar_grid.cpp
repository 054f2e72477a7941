// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/bar_grid.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tonfield::analysis {
namespace {

// The bar lines, or beats, and the song's end.
std::vector<double> linesOf(const MusicalAnalysis& analysis, Snap snap)
{
    std::vector<double> lines = snap == Snap::bars ? analysis.downbeats : analysis.beats;
    if (!lines.empty() && analysis.duration > lines.back())
        lines.push_back(analysis.duration);
    return lines;
}

} // namespace

std::size_t nearestIndex(const std::vector<double>& rising, double at)
{
    const auto after = std::lower_bound(rising.begin(), rising.end(), at);
    auto index = static_cast<std::size_t>(after - rising.begin());
    if (index == rising.size() || (index > 0 && at - rising[index - 1] < rising[index] - at))
        --index;
    return index;
}

Span snappedSpan(const MusicalAnalysis& analysis, double from, double to, Snap snap)
{
    if (from > to)
        std::swap(from, to);
    const std::vector<double> lines = linesOf(analysis, snap);
    if (snap == Snap::free || lines.size() < 2)
        return {from, to};
    std::size_t first = nearestIndex(lines, from);
    std::size_t last = nearestIndex(lines, to);
    if (last == first) {
        if (first + 1 < lines.size())
            ++last;
        else
            --first;
    }
    return {lines[first], lines[last]};
}

std::optional<Span> barAround(const MusicalAnalysis& analysis, double at)
{
    const std::vector<double> lines = linesOf(analysis, Snap::bars);
    const auto after = std::upper_bound(lines.begin(), lines.end(), at);
    if (after == lines.begin() || after == lines.end())
        return std::nullopt;
    return Span{*(after - 1), *after};
}

std::optional<Span> movedByBars(const MusicalAnalysis& analysis, Span span, int bars)
{
    const std::vector<double> lines = linesOf(analysis, Snap::bars);
    if (lines.size() < 2)
        return std::nullopt;
    const auto first = static_cast<long>(nearestIndex(lines, span.start)) + bars;
    auto last = static_cast<long>(nearestIndex(lines, span.end)) + bars;
    if (last == first)
        ++last;
    if (first < 0 || last >= static_cast<long>(lines.size()))
        return std::nullopt;
    return Span{lines[static_cast<std::size_t>(first)], lines[static_cast<std::size_t>(last)]};
}

} // namespace tonfield::analysis
