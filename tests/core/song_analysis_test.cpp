// SPDX-License-Identifier: GPL-3.0-or-later

// The analysis over songs whose beats, bars, key and chords are known by
// construction (fakes/synthetic_song.hpp).

#include "analysis/song_analysis.hpp"

#include "analysis/analysis_report.hpp"
#include "analysis/chord_tracking.hpp"
#include "fakes/synthetic_song.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <random>

namespace tonfield::analysis {
namespace {

using test::Chord;
using test::makeSong;
using test::Song;
using test::songRate;
constexpr int rate = songRate;

MusicalAnalysis analyzeMix(const Song& song)
{
    return analyze({.rate = rate, .rhythm = song.samples, .harmony = song.samples, .bass = {}});
}

// The share of `truth` matched by `found` within 70 ms, and the share of
// `found` that matches: their harmonic mean.
double fMeasure(const std::vector<double>& found, const std::vector<double>& truth)
{
    if (found.empty() || truth.empty())
        return 0;
    auto hits = [](const std::vector<double>& from, const std::vector<double>& in) {
        double count = 0;
        for (double at : from)
            for (double other : in)
                if (std::abs(at - other) <= 0.07) {
                    ++count;
                    break;
                }
        return count;
    };
    const double precision = hits(found, truth) / found.size();
    const double recall = hits(truth, found) / truth.size();
    return precision + recall == 0 ? 0 : 2 * precision * recall / (precision + recall);
}

// The share of the known chords' time the analysis names the same chord.
double chordOverlap(const std::vector<ChordSpan>& found, const std::vector<ChordSpan>& truth)
{
    double agreed = 0, total = 0;
    for (const ChordSpan& expected : truth) {
        total += expected.end - expected.start;
        for (const ChordSpan& chord : found) {
            const double overlap =
                std::min(chord.end, expected.end) - std::max(chord.start, expected.start);
            if (overlap > 0 && chord.root == expected.root && chord.minor == expected.minor)
                agreed += overlap;
        }
    }
    return agreed / total;
}

TEST(SongAnalysis, FindsTheBeatsBarsKeyAndChordsOfASongInAMinor)
{
    // i, iv, V, i in A minor.
    const Song song = makeSong(120, {{9, true}, {2, true}, {4, false}, {9, true}}, 12);
    const MusicalAnalysis found = analyzeMix(song);

    EXPECT_NEAR(found.tempo, 120, 120 * 0.04);
    EXPECT_GE(fMeasure(found.beats, song.beats), 0.9);
    // On the beat, not a few onset steps early: a click must land with it.
    std::vector<double> offsets;
    for (double beat : song.beats) {
        const auto nearest =
            std::min_element(found.beats.begin(), found.beats.end(), [&](double a, double b) {
                return std::abs(a - beat) < std::abs(b - beat);
            });
        if (nearest != found.beats.end() && std::abs(*nearest - beat) < 0.07)
            offsets.push_back(*nearest - beat);
    }
    ASSERT_FALSE(offsets.empty());
    std::nth_element(offsets.begin(), offsets.begin() + offsets.size() / 2, offsets.end());
    EXPECT_LT(std::abs(offsets[offsets.size() / 2]), 0.012);
    EXPECT_EQ(found.meter, 4);
    EXPECT_GE(fMeasure(found.downbeats, song.bars), 0.8);
    ASSERT_TRUE(found.key);
    EXPECT_EQ(found.key->tonic, 9);
    EXPECT_TRUE(found.key->minor);
    EXPECT_GE(chordOverlap(found.chords, song.chords), 0.7);
    EXPECT_NEAR(found.duration, static_cast<double>(song.samples.size()) / rate, 1e-9);
    ASSERT_FALSE(found.chords.empty());
    EXPECT_EQ(found.chords.front().start, 0);
    EXPECT_NEAR(found.chords.back().end, found.duration, 1e-9);
}

TEST(SongAnalysis, FollowsADifferentTempoAndAMajorKey)
{
    // I, IV, V, I in D major, at 96 beats a minute.
    const Song song = makeSong(96, {{2, false}, {7, false}, {9, false}, {2, false}}, 10);
    const MusicalAnalysis found = analyzeMix(song);

    EXPECT_NEAR(found.tempo, 96, 96 * 0.04);
    EXPECT_GE(fMeasure(found.beats, song.beats), 0.9);
    ASSERT_TRUE(found.key);
    EXPECT_EQ(found.key->tonic, 2);
    EXPECT_FALSE(found.key->minor);
    EXPECT_GE(chordOverlap(found.chords, song.chords), 0.7);
}

// The loudest onsets off the beat (a skank, an open hi-hat), the kick on it:
// the beats are the kick's.
TEST(SongAnalysis, BeatsFollowTheKickNotTheLoudestOffBeat)
{
    std::vector<float> samples(static_cast<std::size_t>(20 * rate), 0.0f);
    std::vector<double> kicks;
    std::mt19937 noise(3);
    for (double at = 0.3; at < 19.5; at += 0.5) {
        kicks.push_back(at);
        test::addHit(samples, at, 55, 0.15, 0.35, noise);
        test::addHit(samples, at + 0.25, 0, 0.04, 0.6, noise);
    }
    const MusicalAnalysis found =
        analyze({.rate = rate, .rhythm = samples, .harmony = samples, .bass = {}});
    EXPECT_GE(fMeasure(found.beats, kicks), 0.9);
}

// The loudest hits come between the beats, and so does a low drum only a
// little softer than the kick on the beat, while the chords change on the
// beat. The low end alone leans to the beat too little to be sure; with the
// harmony it is clear where the beat is.
TEST(SongAnalysis, ChordChangesAndTheLowEndTogetherPlaceTheBeat)
{
    std::vector<float> samples(static_cast<std::size_t>(20 * rate), 0.0f);
    std::vector<double> beats;
    std::mt19937 noise(5);
    const int roots[] = {9, 5, 0, 7};
    int beat = 0;
    for (double at = 0.3; at < 19.5; at += 0.5, ++beat) {
        beats.push_back(at);
        for (int interval : {0, 4, 7})
            test::addTone(samples, at, 0.5, test::frequencyOf(60 + roots[beat % 4] + interval),
                          0.08);
        test::addHit(samples, at, 55, 0.15, 0.137, noise);
        test::addHit(samples, at + 0.25, 55, 0.15, 0.12, noise);
        test::addHit(samples, at + 0.25, 0, 0.04, 0.6, noise);
    }
    const MusicalAnalysis found =
        analyze({.rate = rate, .rhythm = samples, .harmony = samples, .bass = {}});
    EXPECT_GE(fMeasure(found.beats, beats), 0.9);
}

TEST(SongAnalysis, SilenceAndTooLittleAudioHaveNoBeatsNoKeyAndNoChord)
{
    for (std::size_t length : {std::size_t{0}, std::size_t{100}, std::size_t{rate * 10}}) {
        const std::vector<float> silence(length, 0.0f);
        const MusicalAnalysis found =
            analyze({.rate = rate, .rhythm = silence, .harmony = silence, .bass = {}});
        EXPECT_TRUE(found.beats.empty()) << length;
        EXPECT_FALSE(found.key) << length;
        for (const ChordSpan& chord : found.chords)
            EXPECT_FALSE(chord.root) << length;
    }
    // Hiss far below the music has no key either.
    std::mt19937 noise(3);
    std::uniform_real_distribution<float> hiss(-5e-5f, 5e-5f);
    std::vector<float> quiet(rate * 10);
    for (float& sample : quiet)
        sample = hiss(noise);
    EXPECT_FALSE(analyze({.rate = rate, .rhythm = quiet, .harmony = quiet, .bass = {}}).key);
}

TEST(ChordDecoding, APassingNoteDoesNotMakeAChordAndQuietSpansHoldNone)
{
    auto triad = [](int root, bool minor) {
        Chroma chroma{};
        for (int interval : {0, minor ? 3 : 4, 7})
            chroma[static_cast<std::size_t>((root + interval) % 12)] = 1;
        return chroma;
    };
    std::vector<Chroma> spans(8, triad(0, false));
    spans[3][1] = 0.9; // a C# for one beat, against C major
    spans[5] = triad(9, true);
    spans[6] = triad(9, true);
    spans[7] = Chroma{}; // silence
    const std::vector<int> states = decodeChords(spans);
    ASSERT_EQ(states.size(), spans.size());
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(states[i], 0) << i; // C:maj throughout
    EXPECT_EQ(states[5], 2 * 9 + 1);  // A:min
    EXPECT_EQ(states[6], 2 * 9 + 1);
    EXPECT_EQ(states[7], noChord);
}

TEST(ChordDecoding, TheBassVotesOnTheRoot)
{
    // C, E, G and A alike: C major or A minor, as the bass says.
    Chroma notes{};
    for (int pitch : {0, 4, 7, 9})
        notes[static_cast<std::size_t>(pitch)] = 1;
    Chroma bassOnA{};
    bassOnA[9] = 1;
    bassOnA[4] = 0.3; // its fifth, as a bass line has
    Chroma bassOnC{};
    bassOnC[0] = 1;
    const std::vector<Chroma> spans(4, notes);
    EXPECT_EQ(decodeChords(spans, std::vector<Chroma>(4, bassOnA)), std::vector<int>(4, 2 * 9 + 1));
    EXPECT_EQ(decodeChords(spans, std::vector<Chroma>(4, bassOnC)), std::vector<int>(4, 0));
}

TEST(SongAnalysisJson, HasTheDocumentedFormInOrder)
{
    MusicalAnalysis analysis;
    analysis.duration = 4.05;
    analysis.tempo = 118.94;
    analysis.beats = {0.5204, 1.0301};
    analysis.downbeats = {0.5204};
    analysis.key = Key{.tonic = 10, .minor = false, .confidence = 0.713};
    analysis.chords = {{.start = 0, .end = 2.02, .root = {}, .minor = false},
                       {.start = 2.02, .end = 4.05, .root = 6, .minor = true}};
    const std::string text = toJson(analysis, "歌.wav");
    EXPECT_EQ(text.find("{\"input\":\"歌.wav\",\"duration\":4.05,\"tempo\":118.9,\"meter\":4,"
                        "\"beats\":[0.52,1.03],\"downbeats\":[0.52],"),
              0u)
        << text;
    const auto json = nlohmann::json::parse(text);
    EXPECT_EQ(json["key"],
              nlohmann::json::parse(R"({"tonic": "Bb", "mode": "major", "confidence": 0.71})"));
    EXPECT_EQ(json["chords"][0]["label"], "N");
    EXPECT_EQ(json["chords"][1]["label"], "F#:min");
    analysis.key.reset();
    EXPECT_TRUE(nlohmann::json::parse(toJson(analysis, "x"))["key"].is_null());
}

} // namespace
} // namespace tonfield::analysis
