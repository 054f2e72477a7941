// SPDX-License-Identifier: GPL-3.0-or-later

// The practice timeline's rules over an analysis known by construction: the
// user's corrections, loops snapped to its bars, the header's text, and the
// corrections kept in analysis.json across a new analysis.

#include "analysis/analysis_store.hpp"
#include "analysis/bar_grid.hpp"
#include "analysis/corrections.hpp"
#include "analysis/timeline_text.hpp"
#include "fakes/temp_folder.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace tonfield::analysis {
namespace {

// 120 BPM in 4/4 from 1 s: beats every 0.5 s, bars every 2 s, to 9 s.
MusicalAnalysis steadySong()
{
    MusicalAnalysis song;
    song.duration = 10;
    song.tempo = 120;
    song.meter = 4;
    for (int beat = 0; beat <= 16; ++beat)
        song.beats.push_back(1 + 0.5 * beat);
    song.downbeats = {1, 3, 5, 7, 9};
    song.key = Key{.tonic = 9, .minor = true, .confidence = 0.7};
    song.chords = {{.start = 0, .end = 1, .root = {}, .minor = false},
                   {.start = 1, .end = 3, .root = 9, .minor = true},
                   {.start = 3, .end = 10, .root = 0, .minor = false}};
    return song;
}

TEST(Corrections, HalveAndDoubleTheBeatKeepingTheBars)
{
    const MusicalAnalysis song = steadySong();
    EXPECT_EQ(corrected(song, {}).beats, song.beats) << "nothing to correct";

    const MusicalAnalysis halved = corrected(song, {.tempoSteps = -1, .barShift = 0, .key = {}});
    EXPECT_DOUBLE_EQ(halved.tempo, 60);
    ASSERT_EQ(halved.beats.size(), 9u);
    EXPECT_DOUBLE_EQ(halved.beats[0], 1);
    EXPECT_DOUBLE_EQ(halved.beats[1], 2);
    // Four of the slower beats to a bar, from the same first bar line.
    EXPECT_EQ(halved.downbeats, (std::vector<double>{1, 5, 9}));

    const MusicalAnalysis doubled = corrected(song, {.tempoSteps = 1, .barShift = 0, .key = {}});
    EXPECT_DOUBLE_EQ(doubled.tempo, 240);
    ASSERT_EQ(doubled.beats.size(), 33u);
    EXPECT_DOUBLE_EQ(doubled.beats[1], 1.25);
    EXPECT_EQ(doubled.downbeats, (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8, 9}));

    // Halving a song whose first bar falls on an odd beat keeps that beat.
    MusicalAnalysis pickup = song;
    pickup.downbeats = {1.5, 3.5, 5.5, 7.5};
    EXPECT_DOUBLE_EQ(corrected(pickup, {.tempoSteps = -1, .barShift = 0, .key = {}}).beats[0], 1.5);
}

TEST(Corrections, MoveBarOneAndNameTheKey)
{
    const MusicalAnalysis song = steadySong();
    const MusicalAnalysis moved = corrected(song, {.tempoSteps = 0, .barShift = 1, .key = {}});
    EXPECT_EQ(moved.downbeats, (std::vector<double>{1.5, 3.5, 5.5, 7.5}));
    EXPECT_EQ(moved.beats, song.beats);
    // Round the bar: four beats on is where it was.
    EXPECT_EQ(corrected(song, {.tempoSteps = 0, .barShift = 4, .key = {}}).downbeats,
              song.downbeats);

    const MusicalAnalysis named =
        corrected(song, {.tempoSteps = 0, .barShift = 0, .key = Key{2, false, 0}});
    ASSERT_TRUE(named.key);
    EXPECT_EQ(named.key->tonic, 2);
    EXPECT_FALSE(named.key->minor);
    EXPECT_EQ(named.key->confidence, 1) << "the user's word";

    MusicalAnalysis silent = song;
    silent.beats.clear();
    silent.downbeats.clear();
    EXPECT_TRUE(corrected(silent, {.tempoSteps = 1, .barShift = 2, .key = {}}).beats.empty());
}

TEST(BarGrid, DragsSnapToBarsOrBeatsOrNothing)
{
    const MusicalAnalysis song = steadySong();
    EXPECT_EQ(snappedSpan(song, 3.2, 6.7, Snap::bars), (Span{3, 7}));
    EXPECT_EQ(snappedSpan(song, 6.7, 3.2, Snap::bars), (Span{3, 7})) << "dragged leftwards";
    EXPECT_EQ(snappedSpan(song, 3.2, 3.6, Snap::bars), (Span{3, 5})) << "one whole bar at least";
    EXPECT_EQ(snappedSpan(song, 3.2, 3.6, Snap::beats), (Span{3, 3.5}));
    EXPECT_EQ(snappedSpan(song, 3.2, 3.6, Snap::free), (Span{3.2, 3.6}));
    EXPECT_EQ(snappedSpan(song, 8.8, 9.9, Snap::bars), (Span{9, 10})) << "to the song's end";
    EXPECT_EQ(snappedSpan(song, 9.7, 9.9, Snap::bars), (Span{9, 10}));
    EXPECT_EQ(snappedSpan(MusicalAnalysis{}, 2, 1, Snap::bars), (Span{1, 2})) << "no bars";
}

TEST(BarGrid, TheBarBeingPlayedAndLoopsMovedByBars)
{
    const MusicalAnalysis song = steadySong();
    EXPECT_EQ(barAround(song, 4.2), (Span{3, 5}));
    EXPECT_EQ(barAround(song, 3), (Span{3, 5})) << "on its bar line";
    EXPECT_EQ(barAround(song, 9.5), (Span{9, 10})) << "the last bar ends with the song";
    EXPECT_FALSE(barAround(song, 0.5)) << "before bar 1";

    EXPECT_EQ(movedByBars(song, {3, 7}, 1), (Span{5, 9}));
    EXPECT_EQ(movedByBars(song, {3, 7}, -1), (Span{1, 5}));
    EXPECT_FALSE(movedByBars(song, {3, 7}, -2)) << "before the first bar";
    EXPECT_FALSE(movedByBars(song, {5, 10}, 1)) << "past the end";
    EXPECT_EQ(movedByBars(song, {3.1, 3.2}, 1), (Span{5, 7})) << "a sliver becomes a bar";
}

TEST(TimelineText, TheHeaderFollowsSpeedAndPitch)
{
    const MusicalAnalysis song = steadySong();
    EXPECT_EQ(tempoAndKey(song, 1.0, 0), "120.0 BPM · A 小调");
    EXPECT_EQ(tempoAndKey(song, 1.0, 2), "120.0 BPM · B 小调（原调 A 小调）");
    EXPECT_EQ(tempoAndKey(song, 1.0, 12), "120.0 BPM · A 小调") << "an octave is the same key";
    EXPECT_EQ(tempoAndKey(song, 0.7, -2), "84.0 BPM（原速 120.0） · G 小调（原调 A 小调）");
    MusicalAnalysis unknown = song;
    unknown.key.reset();
    unknown.tempo = 0;
    EXPECT_EQ(tempoAndKey(unknown, 1.0, 0), "未找到节拍 · 调性未知");

    EXPECT_EQ(chordSymbol(song.chords[1]), "Am");
    EXPECT_EQ(chordSymbol(song.chords[2], -1), "B");
    EXPECT_EQ(chordSymbol(song.chords[1], 1), "Bbm");
    EXPECT_EQ(chordSymbol(song.chords[0]), "");
}

TEST(TimelineStore, CorrectionsOutliveANewAnalysisAndADamagedFile)
{
    test::TempFolder temp;
    const auto file = temp / "analysis.json";
    EXPECT_EQ(readCorrections(file), Corrections()) << "no file";

    const Corrections mine{.tempoSteps = -1, .barShift = 2, .key = Key{7, false, 1}};
    ASSERT_TRUE(writeCorrections(file, mine));
    EXPECT_EQ(readCorrections(file), mine);
    EXPECT_FALSE(readAnalysis(file, {})) << "corrections alone are no analysis";

    // The song analysed again (its stems changed): the corrections stay.
    ASSERT_TRUE(writeAnalysis(file, steadySong(), {}, "job"));
    EXPECT_EQ(readCorrections(file), mine);
    ASSERT_TRUE(readAnalysis(file, {}));
    // And a correction keeps the analysis.
    ASSERT_TRUE(writeCorrections(file, {}));
    EXPECT_TRUE(readAnalysis(file, {}));

    for (const char* damaged :
         {R"({"user": {"tempoSteps": 7, "barShift": 0, "key": null}})",
          R"({"user": {"tempoSteps": 0, "barShift": -1, "key": null}})",
          R"({"user": {"tempoSteps": 0, "barShift": 0, "key": {"tonic": "H", "mode": "minor"}}})",
          R"({"user": [1, 2]})", "{\"user\": {\"tempoSteps\": 1", "\xff\xfe"}) {
        std::ofstream(file, std::ios::binary) << damaged;
        EXPECT_EQ(readCorrections(file), Corrections()) << damaged;
    }
}

} // namespace
} // namespace tonfield::analysis
