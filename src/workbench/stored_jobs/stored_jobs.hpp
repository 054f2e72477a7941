// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "model/job.hpp"
#include "model/job_library.hpp"
#include "workbench/field_publisher.hpp"

#include "ports/services.hpp"

#include <memory>
#include <string>
#include <vector>

namespace tonfield {

class Workbench;

// The jobs kept on disk, as the history page handles them: the space they
// take and the space left, deleting them (to the desktop's trash where it
// has one), and a job's input made the source again with its settings.
//
// Threading: main thread only. The folders are measured on a worker; the
// result comes back to the main thread through the background service.
class StoredJobs {
public:
    StoredJobs(Workbench& workbench, ports::Services services, const FieldPublisher& publisher);
    StoredJobs(const StoredJobs&) = delete;
    StoredJobs& operator=(const StoredJobs&) = delete;

    // The space the jobs take and the space left, as far as measured.
    const DiskUsage& diskUsage() const { return diskUsage_; }

    // What deleting these jobs would remove; never the running job.
    DeletionPlan planDeletion(const std::vector<std::string>& ids) const;
    void deleteJobs(const std::vector<std::string>& ids);
    // Walks every job folder away from the main thread; a request while one
    // walk runs is answered by another walk when it ends.
    void measureDiskUsage();
    void runAgain(const Job& job);

    // What the Workbench tells it: a job is gone for good.
    void forget(const std::string& id);

private:
    void diskUsageMeasured(DiskUsage usage);

    Workbench& workbench_;
    ports::Services services_;
    const FieldPublisher& publisher_;
    // Results that arrive later hold it weakly: once it is gone they do nothing.
    std::shared_ptr<StoredJobs*> self_ = std::make_shared<StoredJobs*>(this);

    DiskUsage diskUsage_;
    bool measuring_ = false;    // a walk is under way
    bool measureAgain_ = false; // and another was asked for meanwhile
};

} // namespace tonfield
