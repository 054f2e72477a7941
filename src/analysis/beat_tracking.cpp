// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/beat_tracking.hpp"

#include <algorithm>
#include <cmath>
#include <dsp/onsets/DetectionFunction.h>
#include <dsp/tempotracking/DownBeat.h>
#include <dsp/tempotracking/TempoTrackV2.h>
#include <maths/MathUtilities.h>
#include <numbers>
#include <numeric>

namespace tonfield::analysis {
namespace {

// The Queen Mary bar and beat tracker's own settings: an onset function
// value every 11.6 ms, from windows of twice that.
constexpr double stepSeconds = 0.01161;
// The first two onset values are dropped, as that tracker does: the
// function's history is empty there and reads as onsets.
constexpr std::size_t settlingValues = 2;
// How much the onset function's loud end must stand above its middle for a
// pulse to be there (measured: 1.03 for white noise, 1.09 for a held tone,
// above 4 for a song with a beat).
constexpr double pulseContrast = 1.25;
// The low end that marks the beat, and how much more of it must start
// between the tracker's beats than on them for them to move there.
constexpr double lowBandHz = 120;
constexpr double offBeatMargin = 1.5;
// How far the low end's lean and the harmony's, multiplied, must point
// between the beats when neither alone is clear (measured on rendered
// songs: 1.4 and more where the tracker was half a beat off, 0.85 at most
// where it was on the beat).
constexpr double bothCuesMargin = 1.2;

DFConfig onsetConfig(int step)
{
    DFConfig config{};
    config.stepSize = static_cast<unsigned>(step);
    config.frameLength = static_cast<unsigned>(2 * step);
    config.DFType = DF_COMPLEXSD;
    config.dbRise = 3;
    config.adaptiveWhitening = false;
    config.whiteningRelaxCoeff = -1;
    config.whiteningFloor = -1;
    return config;
}

// How much more the spectrum changes into a bar's first beat than into any
// beat, with `downbeats` (indices into the beats) as the bar lines.
double barContrast(const std::vector<double>& beatChange, const std::vector<int>& downbeats)
{
    if (beatChange.empty() || downbeats.empty())
        return 0;
    double atBars = 0;
    int counted = 0;
    for (int beat : downbeats) {
        // beatChange[i - 1] is the change from beat i - 1 into beat i.
        if (beat >= 1 && static_cast<std::size_t>(beat) <= beatChange.size()) {
            atBars += beatChange[static_cast<std::size_t>(beat) - 1];
            ++counted;
        }
    }
    const double overall =
        std::accumulate(beatChange.begin(), beatChange.end(), 0.0) / beatChange.size();
    return counted == 0 || overall <= 0 ? 0 : atBars / counted / overall;
}

// Onsets of the low end (under about 120 Hz), one value a step: where a kick
// drum or a bass note starts.
std::vector<double> lowOnsets(std::span<const float> mono, int rate, int step)
{
    const double pull = 1 - std::exp(-2 * std::numbers::pi * lowBandHz / rate);
    double first = 0, second = 0, energy = 0, previous = 0;
    std::vector<double> onsets;
    int filled = 0;
    for (float sample : mono) {
        first += pull * (sample - first);
        second += pull * (first - second);
        energy += second * second;
        if (++filled == step) {
            onsets.push_back(std::max(0.0, energy - previous));
            previous = energy;
            energy = 0;
            filled = 0;
        }
    }
    return onsets;
}

// The strongest low-end onset within a few steps of `at` (in steps).
double lowOnsetNear(const std::vector<double>& onsets, double at)
{
    const auto centre = static_cast<std::ptrdiff_t>(std::lround(at));
    double strongest = 0;
    for (std::ptrdiff_t i = centre - 2; i <= centre + 2; ++i)
        if (i >= 0 && i < static_cast<std::ptrdiff_t>(onsets.size()))
            strongest = std::max(strongest, onsets[static_cast<std::size_t>(i)]);
    return strongest;
}

// How much more the low end starts between the tracker's beats than on
// them. Positions in onset steps.
double lowEndBetweenBeats(const std::vector<double>& beatSteps, const std::vector<double>& low)
{
    double on = 0, between = 0;
    for (std::size_t i = 0; i + 1 < beatSteps.size(); ++i) {
        on += lowOnsetNear(low, beatSteps[i]);
        between += lowOnsetNear(low, (beatSteps[i] + beatSteps[i + 1]) / 2);
    }
    return on > 0 ? between / on : (between > 0 ? offBeatMargin * 2 : 1);
}

// The mean of the largest quarter of the spectral changes into each beat:
// chords change on the beat, so a grid on the beat has its strongest
// changes stronger than one between the beats.
double strongestChanges(DownBeat& bars, const float* decimated, std::size_t length,
                        const std::vector<double>& beatSteps)
{
    std::vector<int> unused;
    std::vector<double> change;
    bars.setBeatsPerBar(4);
    bars.findDownBeats(decimated, length, beatSteps, unused);
    bars.getBeatSD(change);
    if (change.size() < 4)
        return 0;
    std::sort(change.begin(), change.end());
    const auto from = change.begin() + static_cast<std::ptrdiff_t>(change.size() * 3 / 4);
    return std::accumulate(from, change.end(), 0.0) / static_cast<double>(change.end() - from);
}

// The midpoints of the beats, and half a beat after the last while the
// song lasts.
std::vector<double> halfwayBetween(const std::vector<double>& beatSteps, double lastStep)
{
    std::vector<double> moved;
    for (std::size_t i = 0; i + 1 < beatSteps.size(); ++i)
        moved.push_back((beatSteps[i] + beatSteps[i + 1]) / 2);
    const double half = (beatSteps.back() - beatSteps[beatSteps.size() - 2]) / 2;
    if (beatSteps.back() + half < lastStep)
        moved.push_back(beatSteps.back() + half);
    return moved;
}

// The tracker follows the strongest onsets, and in much music those are
// off the beat (a hi-hat, a skank, a backbeat's upbeat): it then ticks
// between the beats. Two cues say so: the kick and the bass mostly start on
// the beat, and the harmony changes on it. The beats move to the midpoints
// when the low end starts clearly more often between them than on them, or
// when both cues lean that way together.
void keepOnTheBeat(std::vector<double>& beatSteps, const std::vector<double>& low, DownBeat& bars,
                   const float* decimated, std::size_t length, double lastStep)
{
    if (beatSteps.size() < 4)
        return;
    const std::vector<double> halfway = halfwayBetween(beatSteps, lastStep);
    const double lowEnd = lowEndBetweenBeats(beatSteps, low);
    const double onBeat = strongestChanges(bars, decimated, length, beatSteps);
    const double harmony =
        onBeat > 0 ? strongestChanges(bars, decimated, length, halfway) / onBeat : 1;
    if (lowEnd > offBeatMargin || lowEnd * harmony > bothCuesMargin)
        beatSteps = halfway;
}

} // namespace

BeatGrid trackBeats(std::span<const float> mono, int rate)
{
    BeatGrid grid;
    const int step = std::max(1, static_cast<int>(rate * stepSeconds + 0.0001));
    const int frameLength = 2 * step;
    if (rate <= 0 || mono.size() < static_cast<std::size_t>(4 * frameLength))
        return grid;

    DetectionFunction onsets(onsetConfig(step));
    DownBeat bars(static_cast<float>(rate), MathUtilities::nextPowerOfTwo(rate / 3000),
                  static_cast<std::size_t>(step));
    std::vector<double> onsetValues;
    std::vector<double> frame(static_cast<std::size_t>(frameLength));
    std::vector<float> block(static_cast<std::size_t>(frameLength));
    for (std::size_t start = 0; start < mono.size(); start += static_cast<std::size_t>(step)) {
        const std::size_t available = std::min(mono.size() - start, block.size());
        std::copy_n(mono.begin() + static_cast<std::ptrdiff_t>(start), available, block.begin());
        std::fill(block.begin() + static_cast<std::ptrdiff_t>(available), block.end(), 0.0f);
        std::copy(block.begin(), block.end(), frame.begin());
        onsetValues.push_back(onsets.processTimeDomain(frame.data()));
        bars.pushAudioBlock(block.data());
    }
    if (onsetValues.size() <= settlingValues + 2)
        return grid;

    std::vector<double> df(onsetValues.begin() + settlingValues, onsetValues.end());
    // The tracker lays a grid over anything, noise and a held chord
    // included: a beat needs onsets that stand out. The onset function of
    // music with a pulse is peaky (its 90th percentile several times its
    // median); of noise, of a held tone and of silence, flat.
    std::vector<double> sorted = df;
    std::sort(sorted.begin(), sorted.end());
    if (sorted[sorted.size() * 9 / 10] <= pulseContrast * sorted[sorted.size() / 2])
        return grid;
    std::vector<double> beatPeriod(df.size(), 0.0);
    std::vector<double> tempi;
    TempoTrackV2 tracker(static_cast<float>(rate), static_cast<std::size_t>(step));
    tracker.calculateBeatPeriod(df, beatPeriod, tempi);
    std::vector<double> beatSteps;
    tracker.calculateBeats(df, beatPeriod, beatSteps);
    // In the dropped steps' count, as the low end's onsets are.
    for (double& at : beatSteps)
        at += settlingValues;
    std::size_t decimatedLength = 0;
    const float* decimated = bars.getBufferedAudio(decimatedLength);
    keepOnTheBeat(beatSteps, lowOnsets(mono, rate, step), bars, decimated, decimatedLength,
                  static_cast<double>(onsetValues.size()));

    // Onset value i came from the window that starts at step i (counting the
    // dropped ones): a beat found there is heard from that window's start.
    for (double at : beatSteps)
        grid.beats.push_back(at * step / rate);
    if (grid.beats.size() < 2)
        return {};

    std::vector<double> intervals;
    for (std::size_t i = 1; i < grid.beats.size(); ++i)
        intervals.push_back(grid.beats[i] - grid.beats[i - 1]);
    std::nth_element(intervals.begin(), intervals.begin() + intervals.size() / 2, intervals.end());
    grid.tempo = 60.0 / intervals[intervals.size() / 2];

    std::vector<int> downbeats[2];
    std::vector<double> beatChange;
    for (int meter : {4, 3}) {
        bars.setBeatsPerBar(meter);
        std::vector<int>& found = downbeats[meter == 4 ? 0 : 1];
        bars.findDownBeats(decimated, decimatedLength, beatSteps, found);
        if (meter == 4)
            bars.getBeatSD(beatChange);
    }
    // Four unless three shows its bar lines clearly better: most songs are
    // in four, and a bar of three that fits no better is more likely wrong.
    const bool inThree =
        barContrast(beatChange, downbeats[1]) > 1.1 * barContrast(beatChange, downbeats[0]);
    grid.meter = inThree ? 3 : 4;
    for (int beat : downbeats[inThree ? 1 : 0]) {
        if (beat >= 0 && static_cast<std::size_t>(beat) < grid.beats.size())
            grid.downbeats.push_back(grid.beats[static_cast<std::size_t>(beat)]);
    }
    return grid;
}

} // namespace tonfield::analysis
