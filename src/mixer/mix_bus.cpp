// SPDX-License-Identifier: GPL-3.0-or-later

#include "mixer/mix_bus.hpp"

#include <algorithm>

namespace tonfield::mixer {

MixBus::MixBus(std::size_t stems, int channels, std::size_t rampFrames, std::size_t blockFrames)
    : stems_(stems)
    , channels_(channels)
    , rampFrames_(std::max<std::size_t>(rampFrames, 1))
    , blockFrames_(std::max<std::size_t>(blockFrames, 1))
    , targets_(std::make_unique<std::atomic<float>[]>(stems))
    , gains_(stems, 0.0f)
    , heading_(stems, 0.0f)
    , steps_(stems, 0.0f)
    , rampLeft_(stems, 0)
    , scratch_(blockFrames_ * static_cast<std::size_t>(channels), 0.0f)
{
    for (std::size_t stem = 0; stem < stems_; ++stem)
        targets_[stem].store(1.0f, std::memory_order_relaxed);
}

void MixBus::setTargets(const std::vector<float>& gains)
{
    for (std::size_t stem = 0; stem < std::min(stems_, gains.size()); ++stem)
        targets_[stem].store(gains[stem], std::memory_order_relaxed);
}

void MixBus::jumpToTargets()
{
    jumpRequested_.store(true, std::memory_order_release);
}

void MixBus::render(std::span<FrameSource* const> sources, float* out, std::size_t frames)
{
    if (jumpRequested_.exchange(false, std::memory_order_acquire)) {
        for (std::size_t stem = 0; stem < stems_; ++stem) {
            gains_[stem] = heading_[stem] = targets_[stem].load(std::memory_order_relaxed);
            rampLeft_[stem] = 0;
        }
    }
    // A new target starts a ramp from wherever the gain is now.
    for (std::size_t stem = 0; stem < stems_; ++stem) {
        const float target = targets_[stem].load(std::memory_order_relaxed);
        if (target != heading_[stem]) {
            heading_[stem] = target;
            rampLeft_[stem] = rampFrames_;
            steps_[stem] = (target - gains_[stem]) / static_cast<float>(rampFrames_);
        }
    }
    const std::size_t width = static_cast<std::size_t>(channels_);
    for (std::size_t done = 0; done < frames;) {
        const std::size_t block = std::min(blockFrames_, frames - done);
        renderBlock(sources, out + done * width, block);
        done += block;
    }
}

void MixBus::renderBlock(std::span<FrameSource* const> sources, float* out, std::size_t frames)
{
    const std::size_t width = static_cast<std::size_t>(channels_);
    std::fill(out, out + frames * width, 0.0f);
    for (std::size_t stem = 0; stem < std::min(stems_, sources.size()); ++stem) {
        // Every source moves on by `frames`; what it does not deliver is silence.
        const std::size_t delivered = sources[stem]->read(scratch_.data(), frames);
        std::fill(scratch_.begin() + static_cast<std::ptrdiff_t>(delivered * width),
                  scratch_.begin() + static_cast<std::ptrdiff_t>(frames * width), 0.0f);
        float gain = gains_[stem];
        for (std::size_t frame = 0; frame < frames; ++frame) {
            if (rampLeft_[stem] > 0) {
                gain = --rampLeft_[stem] == 0 ? heading_[stem] : gain + steps_[stem];
            }
            for (std::size_t channel = 0; channel < width; ++channel)
                out[frame * width + channel] += gain * scratch_[frame * width + channel];
        }
        gains_[stem] = gain;
    }
}

} // namespace tonfield::mixer
