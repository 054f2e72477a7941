// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Songs whose beats, bars, key and chords are known by construction: triads
// struck on every beat over a bass, a kick on each bar's first beat and a
// tick on every beat.

#include "analysis/musical_analysis.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>
#include <vector>

namespace tonfield::test {

constexpr int songRate = 44100;

struct Chord {
    int root;
    bool minor;
};

struct Song {
    std::vector<float> samples; // mono, at songRate
    std::vector<double> beats;
    std::vector<double> bars;
    std::vector<analysis::ChordSpan> chords;
};

inline double frequencyOf(int midiNote)
{
    return 440.0 * std::pow(2.0, (midiNote - 69) / 12.0);
}

inline void addTone(std::vector<float>& out, double start, double length, double frequency,
                    double level)
{
    const auto first = static_cast<std::size_t>(start * songRate);
    const auto count = static_cast<std::size_t>(length * songRate);
    for (std::size_t i = 0; i < count && first + i < out.size(); ++i) {
        const double t = static_cast<double>(i) / songRate;
        const double envelope = std::exp(-3.0 * t) * std::min(1.0, t * 200);
        double wave = 0;
        for (int harmonic = 1; harmonic <= 4; ++harmonic)
            wave += std::sin(2 * std::numbers::pi * frequency * harmonic * t) / harmonic;
        out[first + i] += static_cast<float>(level * envelope * wave);
    }
}

inline void addHit(std::vector<float>& out, double start, double frequency, double length,
                   double level, std::mt19937& noise)
{
    std::uniform_real_distribution<double> white(-1, 1);
    const auto first = static_cast<std::size_t>(start * songRate);
    const auto count = static_cast<std::size_t>(length * songRate);
    for (std::size_t i = 0; i < count && first + i < out.size(); ++i) {
        const double t = static_cast<double>(i) / songRate;
        const double body =
            frequency > 0 ? std::sin(2 * std::numbers::pi * frequency * t) : white(noise);
        out[first + i] += static_cast<float>(level * std::exp(-t / (length / 4)) * body);
    }
}

// `bars` bars of four beats at `bpm`, one chord a bar from `progression`.
inline Song makeSong(double bpm, const std::vector<Chord>& progression, int bars)
{
    const double beat = 60.0 / bpm;
    const double origin = 0.25;
    Song song;
    song.samples.assign(static_cast<std::size_t>((origin + bars * 4 * beat + 1) * songRate), 0.0f);
    std::mt19937 noise(7);
    for (int bar = 0; bar < bars; ++bar) {
        const Chord chord = progression[static_cast<std::size_t>(bar) % progression.size()];
        const double barStart = origin + bar * 4 * beat;
        song.bars.push_back(barStart);
        song.chords.push_back({.start = barStart,
                               .end = barStart + 4 * beat,
                               .root = chord.root,
                               .minor = chord.minor});
        for (int i = 0; i < 4; ++i) {
            const double at = barStart + i * beat;
            song.beats.push_back(at);
            for (int interval : {0, chord.minor ? 3 : 4, 7})
                addTone(song.samples, at, beat, frequencyOf(60 + chord.root + interval), 0.08);
            addTone(song.samples, at, beat, frequencyOf(36 + chord.root), 0.12);
            addHit(song.samples, at, 0, 0.03, i == 0 ? 0.15 : 0.1, noise);
            if (i == 0)
                addHit(song.samples, at, 55, 0.15, 0.5, noise);
        }
    }
    return song;
}

// Interleaved samples as a 16-bit WAV file, mono unless asked.
inline void writeWav(const std::filesystem::path& file, const std::vector<float>& samples,
                     std::uint32_t channels = 1)
{
    std::ofstream out(file, std::ios::binary);
    auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.put(static_cast<char>((value >> (8 * i)) & 0xff));
    };
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    put(36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    put(16, 4);
    put(1, 2); // PCM
    put(channels, 2);
    put(songRate, 4);
    put(songRate * 2 * channels, 4);
    put(2 * channels, 2);
    put(16, 2);
    out.write("data", 4);
    put(dataBytes, 4);
    for (float sample : samples)
        put(static_cast<std::uint16_t>(
                static_cast<std::int16_t>(std::lround(std::clamp(sample, -1.0f, 1.0f) * 32767))),
            2);
}

} // namespace tonfield::test
