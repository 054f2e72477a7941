// SPDX-License-Identifier: GPL-3.0-or-later

#include "workbench/mix_desk/mix_desk.hpp"

#include "workbench/workbench.hpp"

namespace tonfield {

// The mix plays through the Workbench's player: opening it replaces a
// preview there, and the position and length it shows are the player's.
void MixDesk::playMix()
{
    Workbench& bench = workbench_;
    if (!bench.selectedJob() || bench.stems().size() < 2)
        return;
    if (mix_ && mixPlaying_) {
        mix_->pause();
        publisher_.assign(WorkbenchField::playbackTime, bench.playbackTime_,
                          mix_->currentTimeSeconds());
        publisher_.assign(WorkbenchField::mixPlaying, mixPlaying_, false);
        return;
    }
    if (!mix_) {
        std::vector<std::filesystem::path> files;
        for (const Stem& stem : bench.stems())
            files.push_back(stem.url);
        auto opened = services_.audio.openMix(files);
        if (!opened) {
            bench.setError("无法试听：" + opened.failure());
            return;
        }
        mix_ = opened->get();
        bench.player_ = std::move(*opened);
        bench.playerFile_.clear();
        publisher_.assign(WorkbenchField::playingURL, bench.playingURL_,
                          std::optional<std::filesystem::path>());
    }
    if (click_)
        mix_->setClick(*click_);
    mix_->setGains(gains());
    mix_->setLoop(loopOn_ ? loop_ : std::nullopt);
    mix_->setTempo(tempo_);
    publisher_.assign(WorkbenchField::playbackDuration, bench.playbackDuration_,
                      mix_->durationSeconds());
    if (countIn_ && click_)
        mix_->playCountingIn();
    else
        mix_->play();
    publisher_.assign(WorkbenchField::mixPlaying, mixPlaying_, true);
}

void MixDesk::mixSilenced()
{
    if (mixPlaying_) // only when it changes: the order a stop is seen in stays as it was
        publisher_.assign(WorkbenchField::mixPlaying, mixPlaying_, false);
}

} // namespace tonfield
