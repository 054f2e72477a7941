// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/field_set.hpp"
#include "workbench/workbench.hpp"

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

namespace tonfield::ui {

// The one place where the core's change notifications enter Qt. However many
// fields an operation assigns, views hear `changed` at most once per turn of
// the event loop, after the operation has finished, with the set of fields
// assigned in between. The engine folder is watched too (reported as a change
// of `engineRoot`), so what depends on `ready` follows the interpreter and
// script appearing or vanishing on disk; and so is the job store, so jobs
// another process (the command line) adds or runs appear in the history and
// end there as they end.
class WorkbenchBridge final : public QObject {
    Q_OBJECT
public:
    explicit WorkbenchBridge(Workbench& workbench, QObject* parent = nullptr);
    ~WorkbenchBridge() override;

    Workbench& workbench() const { return workbench_; }

signals:
    void changed(const tonfield::ui::FieldSet& fields);

private:
    void scheduleChanged(Workbench::Field field);
    void watchEngineFolder();
    void watchJobStore(bool catchUp);

    Workbench& workbench_;
    int subscription_;
    bool pending_ = false;
    FieldSet fields_;
    QFileSystemWatcher engineFolder_;
    QFileSystemWatcher jobStore_;
    QTimer jobStoreSettled_; // a burst of writes is read once
};

} // namespace tonfield::ui
