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
    clearLoop();
    const SeparationMode mode = separationModeFromRaw(job.mode).value_or(SeparationMode::vocal);
    const bool highQuality = job_quality::isHigh(job.quality);
    std::string format = job.format;
    std::string message = job.message;
    assign(Field::selectedJob, selectedJob_, std::optional<Job>(std::move(job)));
    assign(Field::mode, mode_, mode);
    assign(Field::format, format_, std::move(format));
    assign(Field::highQuality, highQuality_, highQuality);
    assign(Field::showHistory, showHistory_, false);
    assign(Field::message, message_, std::move(message));
    refreshStems();
    readLog();
}

void Workbench::refreshStems()
{
    const auto folder = activeFolder();
    std::vector<Stem> stems = folder ? listStems(*folder) : std::vector<Stem>();
    stems_ = std::move(stems);
    loadMixStrips();
    notify(Field::stems);
    requestWaveforms();
}

} // namespace tonfield
