// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "analysis/musical_analysis.hpp"

#include <optional>
#include <span>

namespace tonfield::analysis {

// The key of mono audio at `rate`, by qm-dsp's key estimator (a chromagram
// matched against Krumhansl's major and minor profiles over a sliding
// window): the key it names for most of the song, with the share of the song
// it names it for as the confidence. None for audio too short or silent.
// Runs on the calling thread.
std::optional<Key> findKey(std::span<const float> mono, int rate);

} // namespace tonfield::analysis
