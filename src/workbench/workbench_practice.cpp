// SPDX-License-Identifier: GPL-3.0-or-later

#include "workbench/workbench.hpp"

namespace tonfield {

void Workbench::selectLoop(double from, double to)
{
    if (mix_)
        if (auto loop = mixer::loopBetween(from, to, playbackDuration_))
            setLoopTo(loop, true);
}

void Workbench::clearLoop()
{
    setLoopTo(std::nullopt, false);
}

void Workbench::toggleLoop()
{
    if (loop_)
        setLoopTo(loop_, !loopOn_);
}

void Workbench::setLoopStartHere()
{
    if (mix_)
        if (auto loop = mixer::withStart(loop_, playbackTime_, playbackDuration_))
            setLoopTo(loop, true);
}

void Workbench::setLoopEndHere()
{
    if (mix_)
        if (auto loop = mixer::withEnd(loop_, playbackTime_, playbackDuration_))
            setLoopTo(loop, true);
}

// The player hears of every change; a position outside a loop switched on
// moves to its start.
void Workbench::setLoopTo(std::optional<mixer::Loop> loop, bool on)
{
    const bool changed = loop != loop_ || on != loopOn_;
    loopOn_ = on && loop;
    loop_ = std::move(loop);
    if (mix_) {
        mix_->setLoop(loopOn_ ? loop_ : std::nullopt);
        assignIfChanged(Field::playbackTime, playbackTime_, player_->currentTimeSeconds());
    }
    if (changed)
        notify(Field::loop);
}

void Workbench::setSpeed(double speed)
{
    changeTempo({speed, tempo_.semitones});
}

void Workbench::setSemitones(int semitones)
{
    changeTempo({tempo_.speed, semitones});
}

void Workbench::changeTempo(const mixer::Tempo& tempo)
{
    assignIfChanged(Field::tempo, tempo_, tempo.clamped());
    if (mix_)
        mix_->setTempo(tempo_);
}

} // namespace tonfield
