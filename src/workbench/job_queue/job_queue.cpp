// SPDX-License-Identifier: GPL-3.0-or-later

#include "workbench/job_queue/job_queue.hpp"

#include "model/file_name.hpp"
#include "model/job_json.hpp"
#include "model/job_layout.hpp"
#include "model/job_store.hpp"
#include "model/job_values.hpp"
#include "workbench/workbench.hpp"

#include <algorithm>

namespace tonfield {
namespace fs = std::filesystem;
namespace {

std::optional<Job> storedRecord(const fs::path& root, const std::string& id)
{
    auto bytes = readSmallFile(layout::recordFile(root, id));
    return bytes ? decodeJob(*bytes) : std::nullopt;
}

// Whether anything of a queued job's folder is a symbolic link. Records and
// folders come from disk (an engine folder may have been copied or
// downloaded): none of them may choose where Tonfield or the engine writes.
bool holdsLinks(const fs::path& root, const std::string& id, const std::string& filename)
{
    const fs::path folder = layout::jobFolder(root, id);
    for (const fs::path& path :
         {folder, layout::inputFolder(root, id), layout::outputFolder(root, id),
          layout::logFile(root, id), layout::inputFolder(root, id) / filename}) {
        std::error_code ec;
        if (fs::is_symlink(fs::symlink_status(path, ec)))
            return true;
    }
    return false;
}

} // namespace

JobQueue::JobQueue(Workbench& workbench, ports::Services services, const FieldPublisher& publisher)
    : workbench_(workbench)
    , services_(services)
    , publisher_(publisher)
{
}

void JobQueue::chooseFilesToQueue()
{
    const auto files = services_.dialogs.chooseAudioFiles();
    if (!files.empty())
        enqueue(files);
}

void JobQueue::enqueue(const std::vector<fs::path>& files)
{
    if (!workbench_.engineRoot() || !workbench_.ready()) {
        workbench_.setError("分轨引擎尚未就绪，无法加入队列。");
        return;
    }
    std::vector<std::string> queue = queue_;
    std::vector<std::string> refused;
    double order = 0;
    for (const fs::path& file : files) {
        if (!isAcceptedAudioFile(file)) {
            refused.push_back(file.filename().string());
            continue;
        }
        Job record = workbench_.newRecord(file, job_status::queued, "排队中，等待前面的任务完成。");
        // A millisecond apart, so that the stored times keep the queue's order.
        record.created += order;
        order += 0.001;
        if (auto inputCopy = workbench_.prepareJobFolder(record, file); !inputCopy) {
            record.status = job_status::error;
            record.message = inputCopy.failure();
            workbench_.save(record);
            refused.push_back(file.filename().string() + "（" + inputCopy.failure() + "）");
            continue;
        }
        workbench_.save(record);
        queue.push_back(record.id);
    }
    publisher_.assign(WorkbenchField::queue, queue_, std::move(queue));
    // Listed before any of them starts: a reader (the command line) learns
    // their names before another program can end them.
    workbench_.loadHistory();
    if (!refused.empty()) {
        std::string names;
        for (const std::string& name : refused)
            names += (names.empty() ? "" : "、") + name;
        workbench_.setError("未能加入队列：" + names);
    }
    if (!workbench_.busy())
        moveOn();
}

// Starts the next queued job if none runs, then reads the history once: a
// launch reads it itself, so a queue step costs one read, not two.
void JobQueue::moveOn()
{
    const bool wasBusy = workbench_.busy();
    startNext();
    if (wasBusy || !workbench_.busy())
        workbench_.loadHistory();
}

// Takes the first queued job whose record still says "queued" (another
// program may have ended or deleted it meanwhile) and runs it; a job whose
// launch fails is recorded and the next one taken, in this loop. Guarded as
// `start` is: with no ready engine nothing is launched, and the waiting jobs
// stay queued on disk for a later "继续分轨". The history is read by the
// caller (moveOn), once.
void JobQueue::startNext()
{
    if (workbench_.busy())
        return;
    if (queue_.empty()) {
        publisher_.assignIfChanged(WorkbenchField::queue, queueRun_,
                                   QueueRun()); // the queue has run through
        return;
    }
    if (!workbench_.engineRoot() || !workbench_.ready()) {
        const std::size_t waiting = queue_.size();
        queueRun_ = {};
        publisher_.assign(WorkbenchField::queue, queue_, std::vector<std::string>());
        workbench_.setError("分轨引擎尚未就绪：排队的 " + std::to_string(waiting) +
                            " 首音乐保留在队列中，下次启动时可以继续分轨。");
        return;
    }
    while (!workbench_.busy() && !queue_.empty()) {
        std::vector<std::string> rest(queue_.begin() + 1, queue_.end());
        const std::string id = queue_.front();
        publisher_.assign(WorkbenchField::queue, queue_, std::move(rest));
        std::optional<Job> record = storedRecord(*workbench_.engineRoot(), id);
        if (!record || record->status != job_status::queued)
            continue;
        if (holdsLinks(*workbench_.engineRoot(), id, record->filename)) {
            // Not saved either: the record's own folder may be the link.
            workbench_.setError("「" + record->filename +
                                "」的任务文件夹含有符号链接，为安全起见没有运行。");
            continue;
        }
        ++queueRun_.taken;
        publisher_.notify(WorkbenchField::queue);
        record->status = job_status::running;
        record->created = services_.clock.nowSeconds();
        record->message = "正在加载模型，首次使用需要下载权重。";
        const fs::path inputCopy =
            layout::inputFolder(*workbench_.engineRoot(), id) / record->filename;
        workbench_.launch(std::move(*record), inputCopy, Workbench::LaunchedBy::queue);
    }
    if (!workbench_.busy())
        publisher_.assignIfChanged(WorkbenchField::queue, queueRun_, QueueRun());
}

// Records a waiting job as cancelled; false when its record no longer says
// "queued" (another program ended or deleted it).
bool JobQueue::markCancelled(const std::string& id)
{
    std::optional<Job> record = storedRecord(*workbench_.engineRoot(), id);
    if (!record || record->status != job_status::queued ||
        holdsLinks(*workbench_.engineRoot(), id, record->filename))
        return false;
    record->status = job_status::cancelled;
    record->message = "已取消分轨";
    record->elapsed = 0;
    workbench_.save(*record);
    return true;
}

void JobQueue::cancelQueued(const std::string& id)
{
    if (!workbench_.engineRoot() || (workbench_.activeID_ && *workbench_.activeID_ == id))
        return;
    std::vector<std::string> queue = queue_;
    queue.erase(std::remove(queue.begin(), queue.end(), id), queue.end());
    publisher_.assignIfChanged(WorkbenchField::queue, queue_, std::move(queue));
    if (markCancelled(id))
        workbench_.loadHistory();
}

// Every queued job is cancelled, then the running one. The history is read
// once at the end, not once a job: a long queue stops at once.
void JobQueue::stopQueue()
{
    const std::vector<std::string> waiting = queue_;
    if (!waiting.empty()) {
        publisher_.assign(WorkbenchField::queue, queue_, std::vector<std::string>());
        bool changed = false;
        for (const std::string& id : waiting)
            changed = (workbench_.engineRoot() && markCancelled(id)) || changed;
        if (changed)
            workbench_.loadHistory();
    }
    workbench_.cancel();
}

std::vector<std::string> JobQueue::waitingFromEarlierRun() const
{
    std::vector<const Job*> waiting;
    for (const Job& job : workbench_.jobs())
        if (job.status == job_status::queued &&
            std::find(queue_.begin(), queue_.end(), job.id) == queue_.end())
            waiting.push_back(&job);
    std::stable_sort(waiting.begin(), waiting.end(),
                     [](const Job* a, const Job* b) { return a->created < b->created; });
    std::vector<std::string> ids;
    for (const Job* job : waiting)
        ids.push_back(job->id);
    return ids;
}

std::optional<std::string> JobQueue::songStoppedByQuit() const
{
    // The waiting ones are left out: their times are when they were queued.
    const Job* latest = nullptr;
    for (const Job& job : workbench_.jobs())
        if (job.status != job_status::queued && (!latest || job.created > latest->created))
            latest = &job;
    if (!latest || latest->status != job_status::cancelled ||
        latest->message != Workbench::quitMessage)
        return std::nullopt;
    return latest->filename;
}

void JobQueue::resumeQueue()
{
    std::vector<std::string> queue = queue_;
    for (std::string& id : waitingFromEarlierRun())
        queue.push_back(std::move(id));
    publisher_.assignIfChanged(WorkbenchField::queue, queue_, std::move(queue));
    moveOn();
}

void JobQueue::countEnded(const Job& job)
{
    if (queueRun_.taken > 0 && job.status == job_status::done) {
        ++queueRun_.completed;
        queueRun_.completedSeconds += static_cast<double>(job.elapsed.value_or(0));
        publisher_.notify(WorkbenchField::queue);
    }
}

void JobQueue::remove(const std::vector<std::string>& ids)
{
    std::vector<std::string> queue = queue_;
    for (const std::string& id : ids)
        queue.erase(std::remove(queue.begin(), queue.end(), id), queue.end());
    publisher_.assignIfChanged(WorkbenchField::queue, queue_, std::move(queue));
}

void JobQueue::forgetWaiting()
{
    publisher_.assignIfChanged(WorkbenchField::queue, queue_, std::vector<std::string>());
}

} // namespace tonfield
