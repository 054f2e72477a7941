// SPDX-License-Identifier: GPL-3.0-or-later

#include "workbench/mix_desk/mix_desk.hpp"

#include "model/job_layout.hpp"
#include "model/job_store.hpp"
#include "workbench/workbench.hpp"

#include <algorithm>

namespace tonfield {

MixDesk::MixDesk(Workbench& workbench, ports::Services services, const FieldPublisher& publisher)
    : workbench_(workbench)
    , services_(services)
    , publisher_(publisher)
    , countIn_(services.settings.string(ports::countInSetting) == "1")
{
}

MixDesk::~MixDesk()
{
    if (exportStop_)
        *exportStop_ = true;
}

void MixDesk::setStrip(std::size_t index, mixer::StripSettings strip)
{
    if (index >= mixStrips_.size())
        return;
    strip.levelDb = mixer::clampLevel(strip.levelDb);
    std::vector<mixer::StripSettings> strips = mixStrips_;
    strips[index] = strip;
    setMixStrips(std::move(strips));
}

void MixDesk::setClickStrip(mixer::StripSettings strip)
{
    strip.levelDb = mixer::clampLevel(strip.levelDb);
    publisher_.assign(WorkbenchField::metronome, clickStrip_, strip);
    keepStrips();
    if (mix_)
        mix_->setGains(gains());
}

void MixDesk::setCountIn(bool on)
{
    services_.settings.setString(ports::countInSetting, on ? "1" : "0");
    publisher_.assign(WorkbenchField::metronome, countIn_, on);
}

// The player restarts where it is with the new beats: a correction is heard
// at once, and a metronome without beats falls silent.
void MixDesk::takeClick(std::optional<mixer::ClickTrack> track)
{
    if (track == click_)
        return;
    click_ = std::move(track);
    if (mix_) {
        mix_->setClick(click_.value_or(mixer::ClickTrack{}));
        mix_->setGains(gains());
    }
    publisher_.notify(WorkbenchField::metronome);
}

void MixDesk::applyMixPreset(mixer::Preset preset)
{
    if (!workbench_.stems().empty())
        setMixStrips(mixer::applyPreset(preset, workbench_.stems()));
}

void MixDesk::setMixStrips(std::vector<mixer::StripSettings> strips)
{
    publisher_.assign(WorkbenchField::mixStrips, mixStrips_, std::move(strips));
    keepStrips();
    if (mix_)
        mix_->setGains(gains());
}

std::vector<float> MixDesk::gains() const
{
    std::vector<mixer::StripSettings> strips = mixStrips_;
    if (click_)
        strips.push_back(clickStrip_);
    return mixer::audibleGains(strips);
}

// The metronome's strip is kept after the stems' only once it is touched:
// until then mix.json keeps the form it always had.
void MixDesk::keepStrips()
{
    const auto& job = workbench_.selectedJob();
    if (!job)
        return;
    std::vector<mixer::StripSettings> kept = mixStrips_;
    if (clickStrip_ != mutedClick)
        kept.push_back(clickStrip_);
    mixSettings_[job->id] = std::move(kept);
    unsavedMixes_.insert(job->id);
}

// The strips of the shown job's stems: as the user left them (in this run,
// or in the job's mix.json from an earlier one), or all at 0 dB for stems not
// mixed before (or listed anew with another count). The metronome's follows
// the stems' when it was kept.
void MixDesk::takeStrips()
{
    const auto& stems = workbench_.stems();
    const auto& job = workbench_.selectedJob();
    const auto& root = workbench_.engineRoot();
    std::vector<mixer::StripSettings> strips(stems.size());
    clickStrip_ = mutedClick;
    if (job) {
        auto kept = mixSettings_.find(job->id);
        if (kept == mixSettings_.end() && root) {
            const auto bytes = readSmallFile(layout::mixFile(*root, job->id));
            if (auto stored = bytes ? mixer::decodeStrips(*bytes) : std::nullopt)
                kept = mixSettings_.emplace(job->id, std::move(*stored)).first;
        }
        if (kept != mixSettings_.end() && !stems.empty() &&
            kept->second.size() == stems.size() + 1) {
            clickStrip_ = kept->second.back();
            strips.assign(kept->second.begin(), kept->second.end() - 1);
        } else if (kept != mixSettings_.end() && kept->second.size() == stems.size()) {
            strips = kept->second;
        }
    }
    mixStrips_ = std::move(strips);
}

// Each overview arrives later on its own, and the window draws it then.
void MixDesk::requestWaveforms()
{
    std::weak_ptr<MixDesk*> weak = self_;
    for (const Stem& stem : workbench_.stems()) {
        if (!waveformsAsked_.insert(stem.url).second)
            continue;
        services_.waveforms.request(stem.url, [weak, file = stem.url](mixer::Overview overview) {
            if (auto self = weak.lock()) {
                (*self)->waveforms_[file] = std::move(overview);
                (*self)->publisher_.notify(WorkbenchField::waveforms);
            }
        });
    }
}

const std::vector<float>* MixDesk::waveform(const std::filesystem::path& file) const
{
    auto found = waveforms_.find(file);
    return found == waveforms_.end() ? nullptr : &found->second.peaks;
}

double MixDesk::mixLength() const
{
    double longest = 0;
    for (const Stem& stem : workbench_.stems())
        if (auto found = waveforms_.find(stem.url); found != waveforms_.end())
            longest = std::max(longest, found->second.seconds);
    return longest;
}

void MixDesk::leaveJob()
{
    clearLoop();
    if (!mixExport_.running)
        publisher_.assignIfChanged(WorkbenchField::mixExport, mixExport_, MixExport());
}

void MixDesk::forgetJob(const std::string& id)
{
    mixSettings_.erase(id);
    unsavedMixes_.erase(id);
}

// Strips changed since the last poll are written to their jobs' mix.json, so
// a slider drag costs a few writes a second rather than one per step; a
// folder that cannot be written to keeps the strips for this run only.
void MixDesk::poll()
{
    if (const auto& root = workbench_.engineRoot()) {
        for (const std::string& id : unsavedMixes_)
            (void)replaceFile(layout::mixFile(*root, id), mixer::encodeStrips(mixSettings_[id]));
    }
    unsavedMixes_.clear();
    if (exportDone_)
        publisher_.assignIfChanged(
            WorkbenchField::mixExport, mixExport_,
            MixExport{.running = true, .fraction = *exportDone_, .file = {}});
}

} // namespace tonfield
