// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "analysis/musical_analysis.hpp"

#include <string>

namespace tonfield::analysis {

// "A 小调", "Eb 大调".
std::string keyName(const Key& key);

// A chord as musicians write it over a staff, moved by `semitones`: "Am",
// "F#", and nothing for no chord.
std::string chordSymbol(const ChordSpan& chord, int semitones = 0);

// The mixer's header: the tempo and key as heard at this speed and
// transposition, with the song's own where they differ:
// "118.9 BPM · A 小调", "83.2 BPM（原速 118.9）· B 小调（原调 A 小调）".
std::string tempoAndKey(const MusicalAnalysis& analysis, double speed, int semitones);

} // namespace tonfield::analysis
