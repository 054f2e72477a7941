// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/workbench_bridge.hpp"

#include "model/job_id.hpp"
#include "model/job_layout.hpp"
#include "model/job_values.hpp"

#include "interop/qt_paths.hpp"

#include <QFileInfo>

namespace tonfield::ui {
namespace {

// Long enough for a queue stopped at once, or a job writing its record and
// log, to be read once; short enough to look immediate.
constexpr int kJobStoreSettleMs = 300;

// Unfinished jobs are watched one folder each (their record is replaced
// there when they end); past this many, new and removed jobs are still seen
// through the jobs folder, and the rest when the history is opened.
constexpr int kMostWatchedJobs = 200;

} // namespace

WorkbenchBridge::WorkbenchBridge(Workbench& workbench, QObject* parent)
    : QObject(parent)
    , workbench_(workbench)
{
    subscription_ = workbench_.subscribe([this](Workbench::Field field) {
        if (field == Workbench::Field::engineRoot)
            watchEngineFolder();
        if (field == Workbench::Field::engineRoot || field == Workbench::Field::jobs)
            watchJobStore(false);
        scheduleChanged(field);
    });
    connect(&engineFolder_, &QFileSystemWatcher::directoryChanged, this, [this] {
        watchEngineFolder(); // .venv or bin may have appeared
        watchJobStore(true); // and so may data/
        scheduleChanged(Workbench::Field::engineRoot);
    });
    jobStoreSettled_.setSingleShot(true);
    jobStoreSettled_.setInterval(kJobStoreSettleMs);
    connect(&jobStore_, &QFileSystemWatcher::directoryChanged, this, [this] {
        watchJobStore(true); // data/jobs may have appeared
        jobStoreSettled_.start();
    });
    connect(&jobStoreSettled_, &QTimer::timeout, this, [this] { workbench_.loadHistory(); });
    watchEngineFolder();
    watchJobStore(false);
}

WorkbenchBridge::~WorkbenchBridge()
{
    workbench_.unsubscribe(subscription_);
}

void WorkbenchBridge::scheduleChanged(Workbench::Field field)
{
    fields_.add(field);
    if (pending_)
        return;
    pending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            pending_ = false;
            const FieldSet fields = fields_;
            fields_.clear();
            emit changed(fields);
        },
        Qt::QueuedConnection);
}

void WorkbenchBridge::watchEngineFolder()
{
    if (!engineFolder_.directories().isEmpty())
        engineFolder_.removePaths(engineFolder_.directories());
    const auto& root = workbench_.engineRoot();
    if (!root)
        return;
    const QString folder = toQString(*root);
    // The folder above shows the engine folder itself moved away, deleted or
    // put back; a watch on a folder ends with the folder.
    const QString above = QFileInfo(folder).absolutePath();
    for (const QString& path : {above, folder, folder + "/.venv", folder + "/.venv/bin"}) {
        if (QFileInfo(path).isDir())
            engineFolder_.addPath(path);
    }
}

// The jobs folder shows jobs added and removed (the engine folder's own
// watch covers data/ appearing); an unfinished job's folder
// shows its record replaced when it starts or ends. Only what changed is
// added or removed: the history may hold thousands of jobs. A folder newly
// watched after the fact may have changed unseen: with `catchUp`, the
// history is read again.
void WorkbenchBridge::watchJobStore(bool catchUp)
{
    QStringList wanted;
    if (const auto& root = workbench_.engineRoot()) {
        const std::filesystem::path jobs = layout::jobsFolder(*root);
        // Until the first job makes it, the folder above shows it appear.
        wanted << toQString(QFileInfo(toQString(jobs)).isDir() ? jobs : jobs.parent_path());
        for (const Job& job : workbench_.jobs()) {
            if (wanted.size() > kMostWatchedJobs)
                break;
            if ((job.status == job_status::queued || job.status == job_status::running) &&
                isJobId(job.id))
                wanted << toQString(jobs / job.id);
        }
    }
    const QStringList watched = jobStore_.directories();
    QStringList stale;
    for (const QString& path : watched) {
        if (!wanted.contains(path))
            stale << path;
    }
    if (!stale.isEmpty())
        jobStore_.removePaths(stale);
    QStringList added;
    for (const QString& path : wanted) {
        if (!watched.contains(path) && QFileInfo(path).isDir())
            added << path;
    }
    if (!added.isEmpty())
        jobStore_.addPaths(added);
    if (catchUp && !added.isEmpty())
        jobStoreSettled_.start();
}

} // namespace tonfield::ui
