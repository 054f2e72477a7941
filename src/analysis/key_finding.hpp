// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "analysis/chord_tracking.hpp"
#include "analysis/musical_analysis.hpp"

#include <optional>

namespace tonfield::analysis {

// The key of a whole song from its chromagram: the chroma summed over the
// song, correlated with Temperley's major and minor key profiles turned to
// each tonic; the best correlation is the confidence. None for a silent song.
std::optional<Key> keyOfChroma(const ChromaFrames& chroma);

} // namespace tonfield::analysis
