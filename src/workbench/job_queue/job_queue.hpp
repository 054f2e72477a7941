// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/job.hpp"
#include "model/progress.hpp"
#include "workbench/field_publisher.hpp"

#include "ports/services.hpp"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tonfield {

class Workbench;

// Songs waiting to be separated: files become "queued" jobs, run one at a
// time in order, each launched by the Workbench as its own start launches
// one. Queued records outlive the application; resuming takes up those left
// by an earlier run.
//
// Threading: main thread only.
class JobQueue {
public:
    JobQueue(Workbench& workbench, ports::Services services, const FieldPublisher& publisher);
    JobQueue(const JobQueue&) = delete;
    JobQueue& operator=(const JobQueue&) = delete;

    // The ids of the jobs waiting to run, in the order they will run.
    const std::vector<std::string>& queue() const { return queue_; }
    // How far the queue has come since it last started from empty; changes
    // with `queue`.
    const QueueRun& queueRun() const { return queueRun_; }

    void chooseFilesToQueue();
    void enqueue(const std::vector<std::filesystem::path>& files);
    void cancelQueued(const std::string& id);
    // Every waiting job is cancelled, then the running one.
    void stopQueue();
    // Queued records on disk that this run has not taken up, oldest first.
    std::vector<std::string> waitingFromEarlierRun() const;
    // The song the last quit stopped mid-run, if the latest job is that one:
    // it is recorded as cancelled and so not among the waiting.
    std::optional<std::string> songStoppedByQuit() const;
    void resumeQueue();

    // What the Workbench tells the queue. No job runs now (one ended, or its
    // launch failed): the next is started, and the history read once.
    void moveOn();
    // A job ended; one the queue took counts towards its progress when done.
    void countEnded(const Job& job);
    // Jobs deleted: they wait no longer.
    void remove(const std::vector<std::string>& ids);
    // The application quits: the waiting records stay "queued" on disk.
    void forgetWaiting();

private:
    void startNext();
    bool markCancelled(const std::string& id);

    Workbench& workbench_;
    ports::Services services_;
    const FieldPublisher& publisher_;
    std::vector<std::string> queue_;
    QueueRun queueRun_;
};

} // namespace tonfield
