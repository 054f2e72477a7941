// SPDX-License-Identifier: GPL-3.0-or-later

#include "workbench/workbench.hpp"

#include "engine/invocation.hpp"
#include "model/failure_text.hpp"
#include "model/file_copy.hpp"
#include "model/job_id.hpp"
#include "model/job_layout.hpp"
#include "model/job_values.hpp"
#include "model/utf8.hpp"

namespace tonfield {
namespace fs = std::filesystem;

// The record keeps the name repaired where it is not UTF-8 (a record is
// JSON); the input copy takes that name, read from the file's real one.
Job Workbench::newRecord(const fs::path& file, std::string_view status, std::string message)
{
    return Job{
        .id = jobIdFromUuid(services_.ids.newUuid()),
        .filename = repairUtf8(file.filename().string()),
        .mode = std::string(rawValue(mode_)),
        .format = format_,
        .quality = std::string(job_quality::fromSwitch(highQuality_)),
        .status = std::string(status),
        .created = services_.clock.nowSeconds(),
        .message = std::move(message),
        .elapsed = std::nullopt,
        .outputs = std::vector<JobOutput>{},
    };
}

Result<fs::path> Workbench::prepareJobFolder(const Job& record, const fs::path& file)
{
    const fs::path root = *engineRoot_;
    std::error_code ec;
    for (const fs::path& folder :
         {layout::inputFolder(root, record.id), layout::outputFolder(root, record.id)}) {
        fs::create_directories(folder, ec);
        if (ec)
            return Result<fs::path>::failed(failureText(folder, ec));
    }
    const fs::path inputCopy = layout::inputFolder(root, record.id) / record.filename;
    // The user's own file: a link to it (a music library of links) is fine.
    if (auto copied = copyFile(file, inputCopy, Links::follow); !copied)
        return Result<fs::path>::failed(copied.failure());
    return inputCopy;
}

void Workbench::start()
{
    if (busy_ || !ready() || !engineRoot_ || !source_)
        return;
    stopPlayback();
    setError(std::nullopt);
    Job record = newRecord(*source_, job_status::running, "正在加载模型，首次使用需要下载权重。");
    auto inputCopy = prepareJobFolder(record, *source_);
    if (inputCopy) {
        launch(std::move(record), *inputCopy, LaunchedBy::user);
    } else {
        failLaunch(std::move(record), inputCopy.failure());
    }
    if (!busy_) // the launch failed: the queue, if any, goes on
        jobQueue_.moveOn();
}

// Runs the engine over a job whose folder holds its input copy, with the
// record's own settings.
void Workbench::launch(Job record, const fs::path& inputCopy, LaunchedBy by)
{
    const fs::path root = *engineRoot_;
    const std::string id = record.id;
    const fs::path logFile = layout::logFile(root, id);
    auto opened = LogHandle::open(logFile);
    if (!opened)
        return failLaunch(std::move(record), opened.failure());
    logHandle_ = std::move(*opened);

    const engine::Invocation invocation = engine::buildInvocation(
        root, inputCopy, layout::outputFolder(root, id),
        {.mode = separationModeFromRaw(record.mode).value_or(SeparationMode::vocal),
         .format = record.format,
         .highQuality = job_quality::isHigh(record.quality)},
        services_.environment.environment());

    leaveSelectedJob();
    publisher_.assign(Field::selectedJob, selectedJob_, std::optional<Job>(record));
    activeID_ = id;
    publisher_.assign(Field::stems, stems_, std::vector<Stem>());
    publisher_.assign(Field::log, log_, std::string());
    publisher_.assign(Field::elapsed, elapsed_, 0.0);
    remaining_ = RemainingTime();
    previousPoll_ = record.created;
    publisher_.assignIfChanged(Field::progress, progress_, std::optional<double>());
    publisher_.assignIfChanged(Field::timeLeft, timeLeft_, std::optional<double>());
    publisher_.assign(Field::busy, busy_, true);
    if (by == LaunchedBy::user)
        publisher_.assign(Field::showHistory, showHistory_, false);
    publisher_.assign(Field::message, message_, record.message);
    save(record);

    std::weak_ptr<Workbench> weak = weak_from_this();
    auto launched =
        services_.launcher.launch(invocation, logHandle_->descriptor(), [weak, id](int status) {
            if (auto self = weak.lock())
                self->finished(id, status);
        });
    if (!launched)
        return failLaunch(std::move(record), launched.failure());
    process_ = std::move(*launched);
    loadHistory();
}

// Leaves the running state with the job recorded as failed; whatever of the
// job folder was made stays on disk. The caller re-reads the history and
// moves the queue on: a queue of failing launches is a loop, not a recursion.
void Workbench::failLaunch(Job record, const std::string& description)
{
    publisher_.assign(Field::busy, busy_, false);
    process_.reset();
    activeID_.reset();
    logHandle_.reset();
    record.status = job_status::error;
    record.message = description;
    publisher_.assign(Field::selectedJob, selectedJob_, std::optional<Job>(record));
    save(record);
    setError(description);
}

} // namespace tonfield
