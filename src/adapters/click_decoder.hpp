// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "adapters/audio_decoder.hpp"
#include "mixer/click_track.hpp"

namespace tonfield::adapters {

// The metronome read like one more stem: its clicks as float PCM, as long as
// the song. Unlike a file it can be moved before the song's start, where a
// count-in clicks on the beats that lead into it.
class ClickDecoder final : public AudioDecoder {
public:
    // `format` must be float samples.
    ClickDecoder(const mixer::ClickTrack& track, const PcmFormat& format, double durationSeconds);

    double durationSeconds() const override { return durationSeconds_; }
    std::size_t read(char* data, std::size_t maxBytes) override;
    // Clamped to the song's end only: a negative time is a count-in's.
    void seek(double seconds) override;
    double positionSeconds() const override;

private:
    mixer::ClickSynth synth_;
    PcmFormat format_;
    double durationSeconds_;
    long long endFrame_;
    long long frame_ = 0;
};

} // namespace tonfield::adapters
