// SPDX-License-Identifier: GPL-3.0-or-later

#include "workbench/mix_desk/mix_desk.hpp"

#include "workbench/workbench.hpp"

namespace tonfield {

void MixDesk::selectLoop(double from, double to)
{
    if (mix_)
        if (auto loop = mixer::loopBetween(from, to, workbench_.playbackDuration()))
            setLoopTo(loop, true);
}

void MixDesk::clearLoop()
{
    setLoopTo(std::nullopt, false);
}

void MixDesk::toggleLoop()
{
    if (loop_)
        setLoopTo(loop_, !loopOn_);
}

void MixDesk::setLoopStartHere()
{
    if (mix_)
        if (auto loop =
                mixer::withStart(loop_, workbench_.playbackTime(), workbench_.playbackDuration()))
            setLoopTo(loop, true);
}

void MixDesk::setLoopEndHere()
{
    if (mix_)
        if (auto loop =
                mixer::withEnd(loop_, workbench_.playbackTime(), workbench_.playbackDuration()))
            setLoopTo(loop, true);
}

// The player hears of every change; a position outside a loop switched on
// moves to its start.
void MixDesk::setLoopTo(std::optional<mixer::Loop> loop, bool on)
{
    const bool changed = loop != loop_ || on != loopOn_;
    loopOn_ = on && loop;
    loop_ = std::move(loop);
    if (mix_) {
        mix_->setLoop(loopOn_ ? loop_ : std::nullopt);
        publisher_.assignIfChanged(WorkbenchField::playbackTime, workbench_.playbackTime_,
                                   mix_->currentTimeSeconds());
    }
    if (changed)
        publisher_.notify(WorkbenchField::loop);
}

void MixDesk::setSpeed(double speed)
{
    changeTempo({speed, tempo_.semitones});
}

void MixDesk::setSemitones(int semitones)
{
    changeTempo({tempo_.speed, semitones});
}

void MixDesk::changeTempo(const mixer::Tempo& tempo)
{
    publisher_.assignIfChanged(WorkbenchField::tempo, tempo_, tempo.clamped());
    if (mix_)
        mix_->setTempo(tempo_);
}

} // namespace tonfield
