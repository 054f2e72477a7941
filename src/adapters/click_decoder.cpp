// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/click_decoder.hpp"

#include <algorithm>
#include <cmath>

namespace tonfield::adapters {

ClickDecoder::ClickDecoder(const mixer::ClickTrack& track, const PcmFormat& format,
                           double durationSeconds)
    : synth_(track, format.sampleRate)
    , format_(format)
    , durationSeconds_(std::max(0.0, durationSeconds))
    , endFrame_(std::llround(durationSeconds_ * format.sampleRate))
{
}

std::size_t ClickDecoder::read(char* data, std::size_t maxBytes)
{
    const auto bytesPerFrame = static_cast<std::size_t>(format_.bytesPerFrame());
    const auto frames = std::min(static_cast<long long>(maxBytes / bytesPerFrame),
                                 std::max(0LL, endFrame_ - frame_));
    synth_.render(frame_, reinterpret_cast<float*>(data), static_cast<std::size_t>(frames),
                  format_.channels);
    frame_ += frames;
    return static_cast<std::size_t>(frames) * bytesPerFrame;
}

void ClickDecoder::seek(double seconds)
{
    frame_ = std::min(std::llround(seconds * format_.sampleRate), endFrame_);
}

double ClickDecoder::positionSeconds() const
{
    return static_cast<double>(frame_) / format_.sampleRate;
}

} // namespace tonfield::adapters
