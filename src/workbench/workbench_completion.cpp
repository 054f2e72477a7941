// SPDX-License-Identifier: GPL-3.0-or-later

#include "workbench/workbench.hpp"

#include "model/job_values.hpp"
#include "model/percent_encoding.hpp"
#include "model/utf8.hpp"

#include <cmath>

namespace tonfield {
namespace fs = std::filesystem;

namespace {

JobOutput outputFor(const Stem& stem, const std::string& jobId)
{
    // A Linux file name can hold any bytes; the record must stay valid UTF-8
    // (the url keeps the exact bytes, percent-encoded).
    const std::string rawName = stem.url.filename().string();
    const std::string name = repairUtf8(rawName);
    std::error_code ec;
    const auto size = fs::file_size(stem.url, ec);
    return JobOutput{
        .name = name,
        .size = ec ? 0 : static_cast<std::int64_t>(size),
        .url = "/output/" + jobId + "/" + percentEncodePath(rawName),
    };
}

} // namespace

void Workbench::finished(const std::string& jobID, int code)
{
    if (!activeID_ || *activeID_ != jobID || !selectedJob_)
        return;
    Job job = *selectedJob_;

    logHandle_.reset();
    publisher_.assign(Field::busy, busy_, false);
    process_.reset();
    activeID_.reset();
    job.elapsed = static_cast<std::int64_t>(std::trunc(services_.clock.nowSeconds() - job.created));

    if (job.status == job_status::cancelled) {
        job.message = "已取消分轨";
        publisher_.assign(Field::stems, stems_, std::vector<Stem>());
    } else if (code != 0) {
        job.status = job_status::error;
        job.message = "分轨失败，请展开运行日志查看原因。";
    } else {
        refreshStems();
        if (stems_.empty()) {
            job.status = job_status::error;
            job.message = "模型未生成音轨，请查看日志。";
        } else {
            job.status = job_status::done;
            job.message = "分轨完成，已生成 " + std::to_string(stems_.size()) + " 条独立音轨。";
        }
    }

    job.outputs.emplace();
    for (const Stem& stem : stems_)
        job.outputs->push_back(outputFor(stem, job.id));

    publisher_.assign(Field::selectedJob, selectedJob_, std::optional<Job>(job));
    songTimeline_.takeJob(); // the stems were listed before the job was done
    publisher_.assign(Field::message, message_, job.message);
    publisher_.assignIfChanged(Field::progress, progress_, std::optional<double>());
    publisher_.assignIfChanged(Field::timeLeft, timeLeft_, std::optional<double>());
    jobQueue_.countEnded(job);
    save(job);
    readLog();
    jobQueue_.moveOn();
}

void Workbench::cancel()
{
    if (!busy_)
        return;
    if (selectedJob_) {
        Job job = *selectedJob_;
        job.status = job_status::cancelled;
        publisher_.assign(Field::selectedJob, selectedJob_, std::optional<Job>(std::move(job)));
    }
    publisher_.assign(Field::message, message_, std::string("正在取消，等待引擎退出…"));
    if (selectedJob_)
        save(*selectedJob_);
    if (process_)
        process_->terminate();
}

// Queued records stay "queued" on disk, for the next start to offer.
void Workbench::terminateForExit()
{
    if (!busy_)
        return;
    jobQueue_.forgetWaiting();
    if (selectedJob_) {
        Job job = *selectedJob_;
        job.status = job_status::cancelled;
        job.message = quitMessage;
        publisher_.assign(Field::selectedJob, selectedJob_, std::optional<Job>(job));
        save(job);
    }
    if (process_)
        process_->terminate();
}

} // namespace tonfield
