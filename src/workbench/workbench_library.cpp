// SPDX-License-Identifier: GPL-3.0-or-later

#include "workbench/workbench.hpp"

#include "model/display_text.hpp"
#include "model/failure_text.hpp"
#include "model/job_id.hpp"
#include "model/job_layout.hpp"
#include "model/job_values.hpp"
#include "model/output_format.hpp"

#include <algorithm>

namespace tonfield {
namespace fs = std::filesystem;

DeletionPlan Workbench::planDeletion(const std::vector<std::string>& ids) const
{
    DeletionPlan plan;
    if (!engineRoot_)
        return plan;
    for (const Job& job : jobs_) {
        if (std::find(ids.begin(), ids.end(), job.id) == ids.end() || !isJobId(job.id))
            continue;
        if (activeID_ && *activeID_ == job.id) {
            plan.skipsRunning = true;
            continue;
        }
        plan.ids.push_back(job.id);
        plan.names.push_back(job.filename);
        if (auto size = diskUsage_.jobBytes.find(job.id); size != diskUsage_.jobBytes.end())
            plan.bytes += size->second;
    }
    plan.toTrash = services_.trash.available(layout::jobsFolder(*engineRoot_));
    return plan;
}

// Never the running job's folder; a queued job leaves the queue first. What
// could not be removed is named in the alert and stays listed.
void Workbench::deleteJobs(const std::vector<std::string>& ids)
{
    const DeletionPlan plan = planDeletion(ids);
    if (plan.ids.empty())
        return;
    std::vector<std::string> failures;
    for (const std::string& id : plan.ids) {
        const fs::path folder = layout::jobFolder(*engineRoot_, id);
        if (plan.toTrash) {
            const auto job = std::find_if(jobs_.begin(), jobs_.end(),
                                          [&id](const Job& each) { return each.id == id; });
            const std::string shownName = job == jobs_.end() ? id : display::trashName(*job);
            if (auto moved = services_.trash.moveToTrash(folder, shownName); !moved) {
                failures.push_back(moved.failure());
                continue;
            }
        } else {
            std::error_code ec;
            fs::remove_all(folder, ec);
            if (ec) {
                failures.push_back(failureText(folder, ec));
                continue;
            }
        }
        forgetJob(id);
    }
    jobQueue_.remove(plan.ids);
    loadHistory();
    measureDiskUsage();
    if (!failures.empty())
        setError((plan.toTrash ? "未能移到回收站：" : "未能删除：") + failures.front() +
                 (failures.size() > 1 ? "（另有 " + std::to_string(failures.size() - 1) + " 项）"
                                      : std::string()));
}

// Drops what the application keeps of a job that is gone.
void Workbench::forgetJob(const std::string& id)
{
    mixDesk_.forgetJob(id);
    if (auto usage = diskUsage_; usage.jobBytes.erase(id))
        publisher_.assign(Field::diskUsage, diskUsage_, std::move(usage));
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

// Walks every job folder on a worker thread; a request while one walk runs
// is answered by another walk when it ends.
void Workbench::measureDiskUsage()
{
    if (!engineRoot_)
        return;
    if (measuring_) {
        measureAgain_ = true;
        return;
    }
    measuring_ = true;
    std::vector<std::pair<std::string, fs::path>> folders;
    for (const Job& job : jobs_)
        folders.emplace_back(job.id, layout::jobFolder(*engineRoot_, job.id));
    std::weak_ptr<Workbench> weak = weak_from_this();
    services_.background.run([weak, folders = std::move(folders), root = *engineRoot_] {
        DiskUsage usage;
        for (const auto& [id, folder] : folders)
            usage.jobBytes[id] = folderBytes(folder);
        // The jobs' own disk: data/jobs may be a link to another one.
        std::error_code ec;
        const fs::path jobs = layout::jobsFolder(root);
        const auto space = fs::space(fs::exists(jobs, ec) ? jobs : root, ec);
        if (!ec)
            usage.freeBytes = space.available;
        return std::function<void()>([weak, usage = std::move(usage)]() mutable {
            if (auto self = weak.lock())
                self->diskUsageMeasured(std::move(usage));
        });
    });
}

void Workbench::diskUsageMeasured(DiskUsage usage)
{
    measuring_ = false;
    publisher_.assignIfChanged(Field::diskUsage, diskUsage_, std::move(usage));
    if (std::exchange(measureAgain_, false))
        measureDiskUsage();
}

// The job's input copy becomes the source, with the job's settings.
void Workbench::runAgain(const Job& job)
{
    if (busy_ || !engineRoot_)
        return;
    const fs::path inputCopy = layout::inputFolder(*engineRoot_, job.id) / job.filename;
    std::error_code ec;
    if (!isJobId(job.id) || !fs::is_regular_file(inputCopy, ec)) {
        setError("找不到这首音乐的输入副本：" + inputCopy.string());
        return;
    }
    importFile(inputCopy);
    if (source_ != inputCopy)
        return;
    deselectJob(); // the new run's stems are not the old ones
    publisher_.assign(Field::mode, mode_, separationModeFromRaw(job.mode).value_or(mode_));
    if (outputFormatFromRaw(job.format))
        publisher_.assign(Field::format, format_, job.format);
    publisher_.assign(Field::highQuality, highQuality_, job_quality::isHigh(job.quality));
}

} // namespace tonfield
