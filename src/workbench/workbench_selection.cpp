// SPDX-License-Identifier: GPL-3.0-or-later

#include "workbench/workbench.hpp"

#include "model/job_values.hpp"
#include "model/stem_listing.hpp"

namespace tonfield {

void Workbench::select(Job job)
{
    if (busy_)
        return;
    stopPlayback();
    leaveSelectedJob();
    const SeparationMode mode = separationModeFromRaw(job.mode).value_or(SeparationMode::vocal);
    const bool highQuality = job_quality::isHigh(job.quality);
    std::string format = job.format;
    std::string message = job.message;
    publisher_.assign(Field::selectedJob, selectedJob_, std::optional<Job>(std::move(job)));
    publisher_.assign(Field::mode, mode_, mode);
    publisher_.assign(Field::format, format_, std::move(format));
    publisher_.assign(Field::highQuality, highQuality_, highQuality);
    publisher_.assign(Field::showHistory, showHistory_, false);
    publisher_.assign(Field::message, message_, std::move(message));
    refreshStems();
    readLog();
}

// What belongs to the job shown goes when another is shown, or none: the
// mix of its stems, its loop, the note of the mix last written from it. A
// single file previewed plays on (its file stays where it is).
void Workbench::leaveSelectedJob()
{
    if (mixDesk_.mixLoaded())
        stopPlayback();
    mixDesk_.leaveJob();
    songTimeline_.leaveJob();
}

void Workbench::refreshStems()
{
    const auto folder = activeFolder();
    std::vector<Stem> stems = folder ? listStems(*folder) : std::vector<Stem>();
    stems_ = std::move(stems);
    mixDesk_.takeStrips();
    publisher_.notify(Field::stems);
    mixDesk_.requestWaveforms();
    songTimeline_.takeJob();
}

// Drops what the application keeps of a job that is gone.
void Workbench::forgetJob(const std::string& id)
{
    mixDesk_.forgetJob(id);
    storedJobs_.forget(id);
    if (selectedJob_ && selectedJob_->id == id) {
        deselectJob();
        // The status line goes back to what the workspace still holds.
        publisher_.assign(Field::message, message_,
                          std::string(source_ ? sourceReadyMessage : initialMessage));
    }
}

// Nothing of the job shown so far stays on screen: its stems, its mixer's
// strips, its log, its playback and loop.
void Workbench::deselectJob()
{
    stopPlayback();
    leaveSelectedJob();
    publisher_.assign(Field::selectedJob, selectedJob_, std::optional<Job>());
    publisher_.assign(Field::log, log_, std::string());
    refreshStems(); // with no job: no stems and no strips
}

} // namespace tonfield
