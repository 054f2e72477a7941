// SPDX-License-Identifier: GPL-3.0-or-later

#include "mixer/click_track.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tonfield::mixer {
namespace {

constexpr double kClickSeconds = 0.03;
constexpr double kDecaySeconds = 0.006;
// How far back the beats go before the song: more than the longest bar a
// count-in may need, and never more than this many clicks however short a
// beat a damaged analysis claims.
constexpr double kLeadSeconds = 12;
constexpr int kMostLeadBeats = 64;

// A decaying tone that starts at its full height, so that its first sample
// is the beat's.
std::vector<float> click(double frequency, double height, int sampleRate)
{
    std::vector<float> samples(static_cast<std::size_t>(kClickSeconds * sampleRate));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        samples[i] = static_cast<float>(height * std::exp(-t / kDecaySeconds) *
                                        std::cos(2 * std::numbers::pi * frequency * t));
    }
    return samples;
}

// The median gap between neighbouring beats from `from` to `to` (indices).
double medianGap(const std::vector<double>& beats, std::size_t from, std::size_t to)
{
    std::vector<double> gaps;
    for (std::size_t i = from + 1; i <= to && i < beats.size(); ++i)
        gaps.push_back(beats[i] - beats[i - 1]);
    if (gaps.empty())
        return 0;
    std::nth_element(gaps.begin(), gaps.begin() + static_cast<long>(gaps.size() / 2), gaps.end());
    return gaps[gaps.size() / 2];
}

} // namespace

double countInSeconds(const ClickTrack& track, double position)
{
    const auto& beats = track.beats;
    if (beats.size() < 2 || track.meter < 1)
        return 0;
    // The beats of the bar that follows the position, or the song's last bar.
    const auto next = static_cast<std::size_t>(
        std::lower_bound(beats.begin(), beats.end(), position) - beats.begin());
    const std::size_t meter = static_cast<std::size_t>(track.meter);
    const std::size_t from = std::min(next, beats.size() - std::min(beats.size(), meter + 1));
    return medianGap(beats, from, from + meter) * track.meter;
}

ClickSynth::ClickSynth(const ClickTrack& track, int sampleRate)
    : plain_(click(1000, 0.5, sampleRate))
    , accented_(click(1500, 0.8, sampleRate))
{
    const auto& beats = track.beats;
    if (beats.empty())
        return;
    const int meter = std::max(track.meter, 1);
    // Each beat's place in its bar, counted from the first downbeat.
    const auto firstDownbeat =
        track.downbeats.empty()
            ? 0
            : std::lower_bound(beats.begin(), beats.end(), track.downbeats.front() - 1e-6) -
                  beats.begin();
    auto accentedAt = [&](long long index) {
        return ((index - firstDownbeat) % meter + meter) % meter == 0;
    };
    auto frameOf = [&](double seconds) { return std::llround(seconds * sampleRate); };

    const double gap = beats.size() > 1 ? beats[1] - beats[0] : 0;
    if (gap > 0) {
        // In floating point first: a tiny gap would overflow an int.
        const auto lead = static_cast<int>(std::min<double>(kMostLeadBeats, kLeadSeconds / gap));
        for (int back = lead; back > 0; --back) {
            onsets_.push_back(frameOf(beats[0] - back * gap));
            accents_.push_back(accentedAt(-back));
        }
    }
    for (std::size_t i = 0; i < beats.size(); ++i) {
        onsets_.push_back(frameOf(beats[i]));
        accents_.push_back(accentedAt(static_cast<long long>(i)));
    }
}

void ClickSynth::render(long long first, float* out, std::size_t count, int channels) const
{
    const auto width = static_cast<std::size_t>(channels);
    std::fill_n(out, count * width, 0.0f);
    const auto length = static_cast<long long>(plain_.size());
    const long long end = first + static_cast<long long>(count);
    // Clicks that started up to a click's length before `first` still sound.
    auto at = std::lower_bound(onsets_.begin(), onsets_.end(), first - length + 1);
    for (; at != onsets_.end() && *at < end; ++at) {
        const auto index = static_cast<std::size_t>(at - onsets_.begin());
        const auto& samples = accents_[index] ? accented_ : plain_;
        const long long from = std::max(first, *at);
        const long long to = std::min(end, *at + length);
        for (long long frame = from; frame < to; ++frame) {
            const float sample = samples[static_cast<std::size_t>(frame - *at)];
            float* into = out + static_cast<std::size_t>(frame - first) * width;
            for (std::size_t channel = 0; channel < width; ++channel)
                into[channel] += sample;
        }
    }
}

} // namespace tonfield::mixer
