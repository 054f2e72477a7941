// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "mixer/tempo.hpp"

#include <cstddef>
#include <memory>
#include <vector>

namespace RubberBand {
class RubberBandStretcher;
}

namespace tonfield::adapters {

// Changes the speed and the pitch of the mix as it plays, once for the
// summed signal, with Rubber Band in its real-time mode. Built with its
// player on the caller's thread, used on the audio thread only: after
// construction it neither allocates nor locks.
class TempoStage {
public:
    TempoStage(int sampleRate, int channels);
    ~TempoStage();
    TempoStage(const TempoStage&) = delete;
    TempoStage& operator=(const TempoStage&) = delete;

    void setTempo(const mixer::Tempo& tempo);
    // Forgets what it holds: after a seek.
    void reset();

    // Frames of the changed mix ready to be taken.
    std::size_t available() const;
    // How many source frames to hand in next, and where to put them
    // (interleaved) before calling process().
    std::size_t wanted() const;
    float* input() { return interleaved_.data(); }
    // Takes in `frames` source frames from input(); `final` once the source
    // has ended, after which the stage gives out its tail.
    void process(std::size_t frames, bool final);
    bool finished() const { return finished_; }
    // Takes up to `frames` interleaved frames of the changed mix.
    std::size_t retrieve(float* out, std::size_t frames);

    // Source frames taken in but not yet heard through the stage.
    double heldSourceFrames() const;

private:
    std::unique_ptr<RubberBand::RubberBandStretcher> stretcher_;
    int channels_;
    mixer::Tempo tempo_;
    std::vector<float> interleaved_;
    std::vector<std::vector<float>> planar_;
    std::vector<float*> planes_;
    bool finished_ = false; // the source's end has been handed in
};

} // namespace tonfield::adapters
