// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/key_finding.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <dsp/keydetection/GetKeyMode.h>
#include <vector>

namespace tonfield::analysis {
namespace {

// The estimator's own defaults (its Vamp plugin's): concert A, and ten
// chroma frames of averaging and of median smoothing.
constexpr float concertA = 440;
constexpr double windowFrames = 10;

} // namespace

std::optional<Key> findKey(std::span<const float> mono, int rate)
{
    if (rate <= 0)
        return std::nullopt;
    GetKeyMode estimator(rate, concertA, windowFrames, windowFrames);
    const std::size_t block = estimator.getBlockSize();
    const std::size_t hop = estimator.getHopSize();
    if (block == 0 || hop == 0 || mono.size() < block)
        return std::nullopt;

    // The estimator numbers keys 1 to 12 for C to B major, 13 to 24 for C
    // to B minor; 0 where it finds none.
    std::array<int, 25> votes{};
    int voted = 0;
    std::vector<double> frame(block);
    for (std::size_t start = 0; start + block <= mono.size(); start += hop) {
        std::copy_n(mono.begin() + static_cast<std::ptrdiff_t>(start), block, frame.begin());
        bool audible = false;
        for (double sample : frame)
            audible = audible || std::abs(sample) > 1e-4;
        const int key = estimator.process(frame.data());
        if (audible && key >= 1 && key <= 24) {
            ++votes[static_cast<std::size_t>(key)];
            ++voted;
        }
    }
    if (voted == 0)
        return std::nullopt;
    const auto best = std::max_element(votes.begin() + 1, votes.end());
    const int key = static_cast<int>(best - votes.begin());
    return Key{.tonic = (key - 1) % 12,
               .minor = key > 12,
               .confidence = static_cast<double>(*best) / voted};
}

} // namespace tonfield::analysis
