// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/tempo_stage.hpp"

#include <algorithm>
#include <rubberband/RubberBandStretcher.h>

namespace tonfield::adapters {
namespace {

constexpr std::size_t kBlockFrames = 1024;

} // namespace

// R2 ("faster") keeps six stems' worth of mixing and stretching well inside
// the audio thread's budget; the mix is one signal, so one stretcher serves.
TempoStage::TempoStage(int sampleRate, int channels)
    : stretcher_(std::make_unique<RubberBand::RubberBandStretcher>(
          static_cast<std::size_t>(sampleRate), static_cast<std::size_t>(channels),
          RubberBand::RubberBandStretcher::OptionProcessRealTime |
              RubberBand::RubberBandStretcher::OptionEngineFaster |
              RubberBand::RubberBandStretcher::OptionPitchHighConsistency))
    , channels_(channels)
    , interleaved_(kBlockFrames * static_cast<std::size_t>(channels))
    , planar_(static_cast<std::size_t>(channels), std::vector<float>(kBlockFrames))
{
    stretcher_->setMaxProcessSize(kBlockFrames);
    for (auto& plane : planar_)
        planes_.push_back(plane.data());
}

TempoStage::~TempoStage() = default;

void TempoStage::setTempo(const mixer::Tempo& tempo)
{
    if (tempo == tempo_)
        return;
    tempo_ = tempo;
    stretcher_->setTimeRatio(1.0 / tempo.speed);
    stretcher_->setPitchScale(tempo.pitchScale());
}

void TempoStage::reset()
{
    stretcher_->reset();
    finished_ = false;
}

std::size_t TempoStage::available() const
{
    return static_cast<std::size_t>(std::max(stretcher_->available(), 0));
}

std::size_t TempoStage::wanted() const
{
    return std::clamp<std::size_t>(stretcher_->getSamplesRequired(), 1, kBlockFrames);
}

void TempoStage::process(std::size_t frames, bool final)
{
    frames = std::min(frames, kBlockFrames);
    for (std::size_t n = 0; n < frames; ++n)
        for (int c = 0; c < channels_; ++c)
            planar_[static_cast<std::size_t>(c)][n] =
                interleaved_[n * static_cast<std::size_t>(channels_) + static_cast<std::size_t>(c)];
    stretcher_->process(planes_.data(), frames, final);
    finished_ = final;
}

std::size_t TempoStage::retrieve(float* out, std::size_t frames)
{
    std::size_t given = 0;
    while (given < frames) {
        const std::size_t chunk = std::min(frames - given, kBlockFrames);
        const std::size_t got = stretcher_->retrieve(planes_.data(), chunk);
        for (std::size_t n = 0; n < got; ++n)
            for (int c = 0; c < channels_; ++c)
                out[(given + n) * static_cast<std::size_t>(channels_) +
                    static_cast<std::size_t>(c)] = planar_[static_cast<std::size_t>(c)][n];
        given += got;
        if (got < chunk)
            break;
    }
    return given;
}

double TempoStage::heldSourceFrames() const
{
    // What sits inside the stretcher, counted back to source frames.
    return static_cast<double>(stretcher_->getStartDelay()) * tempo_.speed +
           static_cast<double>(available()) * tempo_.speed;
}

} // namespace tonfield::adapters
