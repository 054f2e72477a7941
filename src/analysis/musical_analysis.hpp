// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tonfield::analysis {

// Pitch classes count from C = 0 to B = 11.
struct Key {
    int tonic = 0;
    bool minor = false;
    double confidence = 0; // how well the song fits it, 0 to 1

    bool operator==(const Key&) const = default;
};

// A chord held from `start` to `end` seconds: a major or minor triad on
// `root`, or no chord (root absent).
struct ChordSpan {
    double start = 0;
    double end = 0;
    std::optional<int> root;
    bool minor = false;
};

// What the practice timeline knows of a song.
struct MusicalAnalysis {
    double duration = 0;           // seconds
    double tempo = 0;              // the dominant tempo, beats a minute; 0 without beats
    int meter = 4;                 // beats a bar
    std::vector<double> beats;     // seconds, rising
    std::vector<double> downbeats; // the beats that start a bar
    std::optional<Key> key;
    std::vector<ChordSpan> chords; // back to back, from 0 to `duration`
};

// C, C#, D, Eb, E, F, F#, G, Ab, A, Bb, B.
std::string pitchName(int pitchClass);

// Harte's syntax: "C:maj", "F#:min", "N".
std::string chordLabel(const ChordSpan& chord);

} // namespace tonfield::analysis
