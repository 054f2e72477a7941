// SPDX-License-Identifier: GPL-3.0-or-later

#include "mixer/click_track.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace tonfield::mixer {
namespace {

constexpr int kRate = 44100;

// Beats every half second from 0.25 s, bar 1 starting on the second beat
// (a pickup), in 4/4.
ClickTrack pickupSong()
{
    ClickTrack track{.beats = {}, .downbeats = {}, .meter = 4};
    for (int i = 0; i < 12; ++i)
        track.beats.push_back(0.25 + 0.5 * i);
    for (int i = 1; i < 12; i += 4)
        track.downbeats.push_back(track.beats[static_cast<std::size_t>(i)]);
    return track;
}

std::vector<float> rendered(const ClickSynth& synth, long long first, std::size_t count,
                            int channels = 1)
{
    std::vector<float> out(count * static_cast<std::size_t>(channels), 99.0f);
    synth.render(first, out.data(), count, channels);
    return out;
}

TEST(ClickTrack, EachClickStartsOnItsBeatsSampleAndTheBarsFirstIsAccented)
{
    const ClickTrack track = pickupSong();
    const ClickSynth synth(track, kRate);
    const auto sound = rendered(synth, 0, 7 * kRate);
    for (std::size_t i = 0; i < track.beats.size(); ++i) {
        const auto onset = static_cast<std::size_t>(std::llround(track.beats[i] * kRate));
        const bool downbeat = i % 4 == 1;
        EXPECT_EQ(sound[onset - 1], 0.0f) << "silence before beat " << i;
        EXPECT_FLOAT_EQ(sound[onset], downbeat ? 0.8f : 0.5f) << "beat " << i;
    }
    // Between clicks, nothing.
    EXPECT_EQ(sound[static_cast<std::size_t>(0.5 * kRate)], 0.0f);
}

TEST(ClickTrack, RenderedInPiecesItIsTheSameSound)
{
    const ClickSynth synth(pickupSong(), kRate);
    const auto whole = rendered(synth, 0, 2 * kRate, 2);
    std::vector<float> pieces;
    // Pieces that split clicks, of odd sizes.
    for (long long at = 0; at < 2 * kRate;) {
        const auto size = std::min<long long>(977, 2 * kRate - at);
        const auto piece = rendered(synth, at, static_cast<std::size_t>(size), 2);
        pieces.insert(pieces.end(), piece.begin(), piece.end());
        at += size;
    }
    EXPECT_EQ(pieces, whole);
    for (std::size_t i = 0; i < whole.size(); i += 2)
        ASSERT_EQ(whole[i], whole[i + 1]) << "both channels alike";
}

// Before the song the beats go on at the first two's pace, the bars with
// them: a count-in into the song is in time with it.
TEST(ClickTrack, BeforeTheSongTheBeatsGoOnBackwards)
{
    const ClickSynth synth(pickupSong(), kRate);
    const auto& onsets = synth.onsets();
    const auto first = std::find(onsets.begin(), onsets.end(), std::llround(0.25 * kRate));
    ASSERT_NE(first, onsets.end());
    ASSERT_GE(first - onsets.begin(), 8);
    const auto index = static_cast<std::size_t>(first - onsets.begin());
    for (std::size_t back = 1; back <= 8; ++back) {
        EXPECT_EQ(onsets[index - back],
                  std::llround((0.25 - 0.5 * static_cast<double>(back)) * kRate));
        // Bar 1 starts one beat after the first: so do the bars before it.
        EXPECT_EQ(synth.accents()[index - back], back % 4 == 3) << back << " beats back";
    }
    const auto lead = rendered(synth, std::llround(-1.25 * kRate), 100);
    EXPECT_FLOAT_EQ(lead[0], 0.8f) << "the bar before bar 1 starts a bar before it";

    // Damaged beats claiming a tiny pace make no more than a bounded lead.
    ClickTrack dense{.beats = {0.0, 1e-300, 2e-300}, .downbeats = {}, .meter = 4};
    EXPECT_LE(ClickSynth(dense, kRate).onsets().size(), 3u + 64u);
    EXPECT_TRUE(ClickSynth(ClickTrack{}, kRate).onsets().empty());
}

TEST(ClickTrack, ACountInIsOneBarAtThePaceAroundThePosition)
{
    ClickTrack track = pickupSong();
    EXPECT_DOUBLE_EQ(countInSeconds(track, 0), 2.0);
    EXPECT_DOUBLE_EQ(countInSeconds(track, 3.1), 2.0);
    EXPECT_DOUBLE_EQ(countInSeconds(track, 100), 2.0) << "past the end: the last bar's pace";
    // The song slows down to beats 0.6 s apart halfway through.
    for (std::size_t i = 6; i < track.beats.size(); ++i)
        track.beats[i] = track.beats[5] + 0.6 * static_cast<double>(i - 5);
    EXPECT_DOUBLE_EQ(countInSeconds(track, 0.3), 2.0);
    EXPECT_NEAR(countInSeconds(track, track.beats[6]), 2.4, 1e-9);
    track.meter = 3;
    EXPECT_NEAR(countInSeconds(track, track.beats[6]), 1.8, 1e-9);
    EXPECT_EQ(countInSeconds(ClickTrack{.beats = {1.0}, .downbeats = {}, .meter = 4}, 0), 0)
        << "one beat has no pace";
    EXPECT_EQ(countInSeconds(ClickTrack{}, 0), 0);
}

} // namespace
} // namespace tonfield::mixer
