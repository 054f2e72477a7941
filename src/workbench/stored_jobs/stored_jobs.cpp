// SPDX-License-Identifier: GPL-3.0-or-later

#include "workbench/stored_jobs/stored_jobs.hpp"

#include "model/display_text.hpp"
#include "model/failure_text.hpp"
#include "model/job_id.hpp"
#include "model/job_layout.hpp"
#include "model/job_values.hpp"
#include "model/output_format.hpp"
#include "workbench/workbench.hpp"

#include <algorithm>

namespace tonfield {
namespace fs = std::filesystem;

StoredJobs::StoredJobs(Workbench& workbench, ports::Services services,
                       const FieldPublisher& publisher)
    : workbench_(workbench)
    , services_(services)
    , publisher_(publisher)
{
}

DeletionPlan StoredJobs::planDeletion(const std::vector<std::string>& ids) const
{
    DeletionPlan plan;
    if (!workbench_.engineRoot())
        return plan;
    for (const Job& job : workbench_.jobs()) {
        if (std::find(ids.begin(), ids.end(), job.id) == ids.end() || !isJobId(job.id))
            continue;
        if (workbench_.activeID_ && *workbench_.activeID_ == job.id) {
            plan.skipsRunning = true;
            continue;
        }
        plan.ids.push_back(job.id);
        plan.names.push_back(job.filename);
        if (auto size = diskUsage_.jobBytes.find(job.id); size != diskUsage_.jobBytes.end())
            plan.bytes += size->second;
    }
    plan.toTrash = services_.trash.available(layout::jobsFolder(*workbench_.engineRoot()));
    return plan;
}

// Never the running job's folder; a queued job leaves the queue first. What
// could not be removed is named in the alert and stays listed.
void StoredJobs::deleteJobs(const std::vector<std::string>& ids)
{
    const DeletionPlan plan = planDeletion(ids);
    if (plan.ids.empty())
        return;
    std::vector<std::string> failures;
    for (const std::string& id : plan.ids) {
        const fs::path folder = layout::jobFolder(*workbench_.engineRoot(), id);
        if (plan.toTrash) {
            const auto job = std::find_if(workbench_.jobs().begin(), workbench_.jobs().end(),
                                          [&id](const Job& each) { return each.id == id; });
            const std::string shownName =
                job == workbench_.jobs().end() ? id : display::trashName(*job);
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
        workbench_.forgetJob(id);
    }
    workbench_.jobQueue().remove(plan.ids);
    workbench_.loadHistory();
    measureDiskUsage();
    if (!failures.empty())
        workbench_.setError((plan.toTrash ? "未能移到回收站：" : "未能删除：") + failures.front() +
                            (failures.size() > 1
                                 ? "（另有 " + std::to_string(failures.size() - 1) + " 项）"
                                 : std::string()));
}

void StoredJobs::forget(const std::string& id)
{
    if (auto usage = diskUsage_; usage.jobBytes.erase(id))
        publisher_.assign(WorkbenchField::diskUsage, diskUsage_, std::move(usage));
}

void StoredJobs::measureDiskUsage()
{
    if (!workbench_.engineRoot())
        return;
    if (measuring_) {
        measureAgain_ = true;
        return;
    }
    measuring_ = true;
    std::vector<std::pair<std::string, fs::path>> folders;
    for (const Job& job : workbench_.jobs())
        folders.emplace_back(job.id, layout::jobFolder(*workbench_.engineRoot(), job.id));
    std::weak_ptr<StoredJobs*> weak = self_;
    services_.background.run([weak, folders = std::move(folders), root = *workbench_.engineRoot()] {
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
                (*self)->diskUsageMeasured(std::move(usage));
        });
    });
}

void StoredJobs::diskUsageMeasured(DiskUsage usage)
{
    measuring_ = false;
    publisher_.assignIfChanged(WorkbenchField::diskUsage, diskUsage_, std::move(usage));
    if (std::exchange(measureAgain_, false))
        measureDiskUsage();
}

// The job's input copy becomes the source, with the job's settings.
void StoredJobs::runAgain(const Job& job)
{
    if (workbench_.busy() || !workbench_.engineRoot())
        return;
    const fs::path inputCopy = layout::inputFolder(*workbench_.engineRoot(), job.id) / job.filename;
    std::error_code ec;
    if (!isJobId(job.id) || !fs::is_regular_file(inputCopy, ec)) {
        workbench_.setError("找不到这首音乐的输入副本：" + inputCopy.string());
        return;
    }
    workbench_.importFile(inputCopy);
    if (workbench_.source() != inputCopy)
        return;
    workbench_.deselectJob(); // the new run's stems are not the old ones
    workbench_.setMode(separationModeFromRaw(job.mode).value_or(workbench_.mode()));
    if (outputFormatFromRaw(job.format))
        workbench_.setFormat(job.format);
    workbench_.setHighQuality(job_quality::isHigh(job.quality));
}

} // namespace tonfield
