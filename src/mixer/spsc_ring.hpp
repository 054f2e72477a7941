// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <vector>

namespace tonfield::mixer {

// A ring of interleaved float frames between one writer thread (a decoder)
// and one reader thread (the audio output): neither side locks or allocates.
class SpscRing {
public:
    SpscRing(std::size_t capacityFrames, int channels)
        : channels_(static_cast<std::size_t>(channels))
        , capacity_(capacityFrames)
        , samples_((capacityFrames + 1) * static_cast<std::size_t>(channels))
    {
    }

    std::size_t capacityFrames() const { return capacity_; }

    // Frames the reader may take now.
    std::size_t readable() const
    {
        const std::size_t write = write_.load(std::memory_order_acquire);
        const std::size_t read = read_.load(std::memory_order_relaxed);
        return (write + slots() - read) % slots();
    }

    // Frames the writer may add now.
    std::size_t writable() const
    {
        const std::size_t write = write_.load(std::memory_order_relaxed);
        const std::size_t read = read_.load(std::memory_order_acquire);
        return capacity_ - (write + slots() - read) % slots();
    }

    // Writer side: adds up to `frames` frames; returns how many it took.
    std::size_t write(const float* frames, std::size_t count)
    {
        count = std::min(count, writable());
        std::size_t at = write_.load(std::memory_order_relaxed);
        for (std::size_t frame = 0; frame < count; ++frame) {
            std::copy_n(frames + frame * channels_, channels_, &samples_[at * channels_]);
            at = (at + 1) % slots();
        }
        write_.store(at, std::memory_order_release);
        return count;
    }

    // Reader side: takes up to `count` frames into `frames` (or drops them
    // when `frames` is null); returns how many.
    std::size_t read(float* frames, std::size_t count)
    {
        count = std::min(count, readable());
        std::size_t at = read_.load(std::memory_order_relaxed);
        for (std::size_t frame = 0; frame < count; ++frame) {
            if (frames)
                std::copy_n(&samples_[at * channels_], channels_, frames + frame * channels_);
            at = (at + 1) % slots();
        }
        read_.store(at, std::memory_order_release);
        return count;
    }

    // Empties the ring. Only while neither side is using it.
    void clear()
    {
        read_.store(0, std::memory_order_relaxed);
        write_.store(0, std::memory_order_relaxed);
    }

private:
    std::size_t slots() const { return capacity_ + 1; } // one slot tells full from empty

    std::size_t channels_;
    std::size_t capacity_;
    std::vector<float> samples_;
    std::atomic<std::size_t> read_{0}, write_{0};
};

} // namespace tonfield::mixer
