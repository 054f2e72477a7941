// SPDX-License-Identifier: GPL-3.0-or-later

#include "workbench/workbench.hpp"

#include "model/job_layout.hpp"
#include "model/job_store.hpp"

#include <algorithm>

namespace tonfield {

// Toggles the mix of the selected job's stems: pauses it while it sounds,
// otherwise plays it from where it stopped, opening it first if need be.
void Workbench::playMix()
{
    if (!selectedJob_ || stems_.size() < 2)
        return;
    if (mix_ && mixPlaying_) {
        player_->pause();
        assign(Field::playbackTime, playbackTime_, player_->currentTimeSeconds());
        assign(Field::mixPlaying, mixPlaying_, false);
        return;
    }
    if (!mix_) {
        std::vector<std::filesystem::path> files;
        for (const Stem& stem : stems_)
            files.push_back(stem.url);
        auto opened = services_.audio.openMix(files);
        if (!opened) {
            setError("无法试听：" + opened.failure());
            return;
        }
        mix_ = opened->get();
        player_ = std::move(*opened);
        playerFile_.clear();
        assign(Field::playingURL, playingURL_, std::optional<std::filesystem::path>());
    }
    mix_->setGains(mixer::audibleGains(mixStrips_));
    mix_->setLoop(loopOn_ ? loop_ : std::nullopt);
    mix_->setTempo(tempo_);
    assign(Field::playbackDuration, playbackDuration_, player_->durationSeconds());
    player_->play();
    assign(Field::mixPlaying, mixPlaying_, true);
}

void Workbench::setStrip(std::size_t index, mixer::StripSettings strip)
{
    if (index >= mixStrips_.size())
        return;
    strip.levelDb = mixer::clampLevel(strip.levelDb);
    std::vector<mixer::StripSettings> strips = mixStrips_;
    strips[index] = strip;
    setMixStrips(std::move(strips));
}

void Workbench::applyMixPreset(mixer::Preset preset)
{
    if (!stems_.empty())
        setMixStrips(mixer::applyPreset(preset, stems_));
}

void Workbench::setMixStrips(std::vector<mixer::StripSettings> strips)
{
    if (selectedJob_) {
        mixSettings_[selectedJob_->id] = strips;
        unsavedMixes_.insert(selectedJob_->id);
    }
    if (mix_)
        mix_->setGains(mixer::audibleGains(strips));
    assign(Field::mixStrips, mixStrips_, std::move(strips));
}

// The strips of the selected job's stems: as the user left them (in this
// run, or in the job's mix.json from an earlier one), or all at 0 dB for
// stems not mixed before (or listed anew with another count). Taken with the
// stems, under their notification: the order in which the window sees a
// selection's fields stays as it was.
void Workbench::loadMixStrips()
{
    std::vector<mixer::StripSettings> strips(stems_.size());
    if (selectedJob_) {
        auto kept = mixSettings_.find(selectedJob_->id);
        if (kept == mixSettings_.end() && engineRoot_) {
            const auto bytes = readSmallFile(layout::mixFile(*engineRoot_, selectedJob_->id));
            if (auto stored = bytes ? mixer::decodeStrips(*bytes) : std::nullopt)
                kept = mixSettings_.emplace(selectedJob_->id, std::move(*stored)).first;
        }
        if (kept != mixSettings_.end() && kept->second.size() == stems_.size())
            strips = kept->second;
    }
    mixStrips_ = std::move(strips);
}

// Writes the strips changed since the last save to their jobs' mix.json, for
// the next run. Called by the poll timer, so a slider drag costs a few writes
// a second rather than one per step; a folder that cannot be written to
// keeps the strips for this run only.
void Workbench::saveMixStrips()
{
    if (engineRoot_) {
        for (const std::string& id : unsavedMixes_)
            (void)replaceFile(layout::mixFile(*engineRoot_, id),
                              mixer::encodeStrips(mixSettings_[id]));
    }
    unsavedMixes_.clear();
}

double Workbench::mixLength() const
{
    double longest = 0;
    for (const Stem& stem : stems_)
        if (auto found = waveforms_.find(stem.url); found != waveforms_.end())
            longest = std::max(longest, found->second.seconds);
    return longest;
}

// Asks once for the overview of each listed stem; each arrives later on its
// own, and the window draws it then.
void Workbench::requestWaveforms()
{
    std::weak_ptr<Workbench> weak = weak_from_this();
    for (const Stem& stem : stems_) {
        if (!waveformsAsked_.insert(stem.url).second)
            continue;
        services_.waveforms.request(stem.url, [weak, file = stem.url](mixer::Overview overview) {
            if (auto self = weak.lock()) {
                self->waveforms_[file] = std::move(overview);
                self->notify(Field::waveforms);
            }
        });
    }
}

} // namespace tonfield
