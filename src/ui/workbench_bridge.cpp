// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/workbench_bridge.hpp"

#include "adapters/qt_paths.hpp"

#include <QFileInfo>

namespace tonfield::ui {

WorkbenchBridge::WorkbenchBridge(Workbench& workbench, QObject* parent)
    : QObject(parent)
    , workbench_(workbench)
{
    subscription_ = workbench_.subscribe([this](Workbench::Field field) {
        if (field == Workbench::Field::engineRoot)
            watchEngineFolder();
        scheduleChanged(field);
    });
    connect(&engineFolder_, &QFileSystemWatcher::directoryChanged, this, [this] {
        watchEngineFolder(); // .venv or bin may have appeared
        scheduleChanged(Workbench::Field::engineRoot);
    });
    watchEngineFolder();
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
    const QString folder = adapters::toQString(*root);
    // The folder above shows the engine folder itself moved away, deleted or
    // put back; a watch on a folder ends with the folder.
    const QString above = QFileInfo(folder).absolutePath();
    for (const QString& path : {above, folder, folder + "/.venv", folder + "/.venv/bin"}) {
        if (QFileInfo(path).isDir())
            engineFolder_.addPath(path);
    }
}

} // namespace tonfield::ui
