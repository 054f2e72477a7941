// SPDX-License-Identifier: GPL-3.0-or-later

#include "analysis/chord_tracking.hpp"

#include <algorithm>
#include <cmath>
#include <dsp/chromagram/Chromagram.h>
#include <dsp/rateconversion/Decimator.h>
#include <limits>
#include <memory>
#include <numeric>

namespace tonfield::analysis {
namespace {

// The key estimator's range, C3 to C7, which lies under 2.2 kHz: the
// chromagram runs at about 5.5 kHz, as the key estimator's does.
constexpr int harmonyRate = 5000;
constexpr int decimatorBlock = 4096;
// Three bins a semitone, the first a third of a semitone under C, so that
// the middle bin of each three is centred on its semitone: a string section
// a little sharp or flat still counts for its notes. Lower, the bass end's
// windows would grow longer than many chords last.
constexpr double lowestC = 130.8128;
constexpr double highestC = 2093.0045;
constexpr unsigned binsPerOctave = 36;

// How sharply the chroma must fit a template to count, and how much a chord
// prefers to last: a new chord must fit clearly better, beat after beat.
constexpr double sharpness = 24;
constexpr double stayProbability = 0.8;
// Where a span's best triad fits its chroma no better than this, no chord.
// Real mixes fit their triads loosely (a melody, sevenths, drums): at 0.62
// the rendered General MIDI songs got "no chord" where they had one, and
// their chord overlap rose from 0.31 to 0.39 at 0.45 (and no further lower).
constexpr double noChordFit = 0.45;
// How much the bass, where it has a stem of its own, adds to the fit of the
// chords whose root it plays: enough to tell A minor from C major over
// C, E, G and A, not enough to outvote the harmony.
constexpr double bassWeight = 0.3;
// Spans this much quieter than the song's typical span hold no chord.
constexpr double quietShare = 0.02;

Chroma templateOf(int state)
{
    Chroma shape{};
    const int root = state / 2;
    shape[static_cast<std::size_t>(root)] = 1;
    shape[static_cast<std::size_t>((root + (state % 2 ? 3 : 4)) % 12)] = 1;
    shape[static_cast<std::size_t>((root + 7) % 12)] = 1;
    return shape;
}

double norm(const Chroma& chroma)
{
    return std::sqrt(std::inner_product(chroma.begin(), chroma.end(), chroma.begin(), 0.0));
}

// The chroma summed over each span between consecutive `bounds`.
std::vector<Chroma> summedBetween(const ChromaFrames& chroma, const std::vector<double>& bounds)
{
    std::vector<Chroma> spans(bounds.size() - 1, Chroma{});
    for (std::size_t frame = 0; frame < chroma.frames.size(); ++frame) {
        const double centre = (static_cast<double>(frame) + 0.5) * chroma.hopSeconds;
        const auto after = std::upper_bound(bounds.begin(), bounds.end(), centre);
        if (after == bounds.begin() || after == bounds.end())
            continue;
        Chroma& span = spans[static_cast<std::size_t>(after - bounds.begin() - 1)];
        for (std::size_t pitch = 0; pitch < 12; ++pitch)
            span[pitch] += chroma.frames[frame][pitch];
    }
    return spans;
}

} // namespace

ChromaFrames chromagramOf(std::span<const float> mono, int rate)
{
    ChromaFrames result;
    if (rate <= 0 || mono.empty())
        return result;
    int factor = 1;
    while (factor < Decimator::getHighestSupportedFactor() && rate / (factor * 2) >= harmonyRate)
        factor *= 2;
    std::vector<double> signal;
    signal.reserve(mono.size() / static_cast<std::size_t>(factor) + decimatorBlock);
    if (factor == 1) {
        signal.assign(mono.begin(), mono.end());
    } else {
        Decimator decimator(decimatorBlock, static_cast<unsigned>(factor));
        std::vector<double> in(decimatorBlock), out(decimatorBlock / factor);
        for (std::size_t start = 0; start < mono.size(); start += decimatorBlock) {
            const std::size_t available =
                std::min<std::size_t>(decimatorBlock, mono.size() - start);
            std::copy_n(mono.begin() + static_cast<std::ptrdiff_t>(start), available, in.begin());
            std::fill(in.begin() + static_cast<std::ptrdiff_t>(available), in.end(), 0.0);
            decimator.process(in.data(), out.data());
            signal.insert(signal.end(), out.begin(),
                          out.begin() + static_cast<std::ptrdiff_t>(
                                            (available + static_cast<std::size_t>(factor) - 1) /
                                            static_cast<std::size_t>(factor)));
        }
    }

    ChromaConfig config{};
    config.FS = static_cast<unsigned>(rate / factor);
    config.min = lowestC * std::pow(2.0, -1.0 / binsPerOctave);
    config.max = highestC;
    config.BPO = binsPerOctave;
    config.CQThresh = 0.0054;
    config.normalise = MathUtilities::NormaliseNone;
    ::Chromagram analyser(config);
    const std::size_t frameSize = analyser.getFrameSize();
    const std::size_t hop = analyser.getHopSize();
    if (frameSize == 0 || hop == 0)
        return result;
    result.hopSeconds = static_cast<double>(hop) / config.FS;
    std::vector<double> frame(frameSize);
    // Frames start half a frame early, so that frame i is centred on its hop.
    const auto half = static_cast<std::ptrdiff_t>(frameSize / 2);
    for (std::ptrdiff_t centre = static_cast<std::ptrdiff_t>(hop / 2);
         centre < static_cast<std::ptrdiff_t>(signal.size());
         centre += static_cast<std::ptrdiff_t>(hop)) {
        for (std::ptrdiff_t i = 0; i < static_cast<std::ptrdiff_t>(frameSize); ++i) {
            const std::ptrdiff_t at = centre - half + i;
            frame[static_cast<std::size_t>(i)] =
                at >= 0 && at < static_cast<std::ptrdiff_t>(signal.size())
                    ? signal[static_cast<std::size_t>(at)]
                    : 0.0;
        }
        const double* bins = analyser.process(frame.data());
        Chroma chroma{};
        for (unsigned bin = 0; bin < binsPerOctave; ++bin)
            chroma[bin / 3] += bins[bin];
        result.frames.push_back(chroma);
    }
    return result;
}

std::vector<int> decodeChords(const std::vector<Chroma>& spans, const std::vector<Chroma>& bass)
{
    constexpr int states = noChord + 1;
    if (spans.empty())
        return {};
    std::vector<double> loudness;
    for (const Chroma& span : spans)
        loudness.push_back(norm(span));
    std::vector<double> sorted = loudness;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double typical = sorted[sorted.size() / 2];

    std::array<Chroma, noChord> templates;
    for (int state = 0; state < noChord; ++state) {
        templates[static_cast<std::size_t>(state)] = templateOf(state);
        const double length = norm(templates[static_cast<std::size_t>(state)]);
        for (double& value : templates[static_cast<std::size_t>(state)])
            value /= length;
    }
    // The share of the bass's energy on a root: a chord whose root the bass
    // plays fits better.
    auto bassVote = [&](std::size_t span, int root) {
        if (span >= bass.size())
            return 0.0;
        const double total = std::accumulate(bass[span].begin(), bass[span].end(), 0.0);
        return total > 0 ? bassWeight * bass[span][static_cast<std::size_t>(root)] / total : 0.0;
    };
    auto fitOf = [&](std::size_t span, int state) {
        if (loudness[span] <= quietShare * typical || loudness[span] <= 0)
            return state == noChord ? 1.0 : 0.0;
        if (state == noChord)
            return noChordFit;
        const double fit =
            std::inner_product(spans[span].begin(), spans[span].end(),
                               templates[static_cast<std::size_t>(state)].begin(), 0.0) /
            loudness[span];
        return fit + bassVote(span, state / 2);
    };

    const double stay = std::log(stayProbability);
    const double move = std::log((1 - stayProbability) / (states - 1));
    std::vector<std::array<double, states>> score(spans.size());
    std::vector<std::array<int, states>> from(spans.size());
    for (int state = 0; state < states; ++state)
        score[0][static_cast<std::size_t>(state)] = sharpness * fitOf(0, state);
    for (std::size_t span = 1; span < spans.size(); ++span) {
        const auto& before = score[span - 1];
        const auto best =
            static_cast<int>(std::max_element(before.begin(), before.end()) - before.begin());
        for (int state = 0; state < states; ++state) {
            const double kept = before[static_cast<std::size_t>(state)] + stay;
            const double changed = before[static_cast<std::size_t>(best)] + move;
            const bool keep = kept >= changed;
            score[span][static_cast<std::size_t>(state)] =
                (keep ? kept : changed) + sharpness * fitOf(span, state);
            from[span][static_cast<std::size_t>(state)] = keep ? state : best;
        }
    }
    std::vector<int> path(spans.size());
    path.back() = static_cast<int>(std::max_element(score.back().begin(), score.back().end()) -
                                   score.back().begin());
    for (std::size_t span = spans.size() - 1; span > 0; --span)
        path[span - 1] = from[span][static_cast<std::size_t>(path[span])];
    return path;
}

std::vector<ChordSpan> trackChords(const ChromaFrames& chroma, const std::vector<double>& beats,
                                   double duration, const ChromaFrames& bass)
{
    if (duration <= 0)
        return {};
    // The boundaries: 0, the beats, the end.
    std::vector<double> bounds{0.0};
    if (beats.size() >= 2) {
        for (double beat : beats)
            if (beat > bounds.back() + 1e-3 && beat < duration)
                bounds.push_back(beat);
    } else {
        for (double at = 0.5; at < duration; at += 0.5)
            bounds.push_back(at);
    }
    if (duration > bounds.back())
        bounds.push_back(duration);

    const std::vector<int> states =
        decodeChords(summedBetween(chroma, bounds),
                     bass.frames.empty() ? std::vector<Chroma>{} : summedBetween(bass, bounds));
    std::vector<ChordSpan> chords;
    for (std::size_t span = 0; span < states.size(); ++span) {
        ChordSpan chord{.start = bounds[span], .end = bounds[span + 1], .root = {}, .minor = false};
        if (states[span] != noChord) {
            chord.root = states[span] / 2;
            chord.minor = states[span] % 2 == 1;
        }
        if (!chords.empty() && chords.back().root == chord.root &&
            chords.back().minor == chord.minor)
            chords.back().end = chord.end;
        else
            chords.push_back(chord);
    }
    return chords;
}

} // namespace tonfield::analysis
