// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

namespace tonfield::mixer {

// Where one stem's samples come from on the audio thread: interleaved float
// frames at the output's rate and channel count. Fewer frames than asked
// means silence for the rest: the stem has ended, or is shorter than the others.
class FrameSource {
public:
    virtual ~FrameSource() = default;
    virtual std::size_t read(float* frames, std::size_t count) = 0;
};

// Sums the stems into one output, each at its strip's gain. Every stem moves
// on by the same number of frames at every call, whatever it delivered, so
// the stems stay sample-aligned. A gain moves to a new target over a short
// ramp, so a level, mute or solo change never clicks.
//
// setTargets may be called from any thread; render belongs to the audio
// thread and neither locks nor allocates.
class MixBus {
public:
    MixBus(std::size_t stems, int channels, std::size_t rampFrames, std::size_t blockFrames = 1024);

    // The gains the strips should sound at, one per stem (extra ones ignored).
    void setTargets(const std::vector<float>& gains);

    // Writes `frames` frames of the mix to `out`, reading that many from each
    // source (one per stem).
    void render(std::span<FrameSource* const> sources, float* out, std::size_t frames);

    // Starts every gain at its target with no ramp: at a start or a seek,
    // where nothing was sounding to ramp from.
    void jumpToTargets();

private:
    void renderBlock(std::span<FrameSource* const> sources, float* out, std::size_t frames);

    std::size_t stems_;
    int channels_;
    std::size_t rampFrames_;
    std::size_t blockFrames_;
    std::unique_ptr<std::atomic<float>[]> targets_;
    // The audio thread's own: each stem's gain now, where it is heading, how
    // far it moves per frame, and for how many frames more.
    std::vector<float> gains_, heading_, steps_;
    std::vector<std::size_t> rampLeft_;
    std::vector<float> scratch_;
    std::atomic<bool> jumpRequested_{true};
};

} // namespace tonfield::mixer
