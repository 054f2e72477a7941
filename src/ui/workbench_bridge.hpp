#pragma once

#include "workbench/workbench.hpp"

#include <QObject>

namespace tonfield::ui {

// The one place where the core's change notifications enter Qt. However many
// fields an operation assigns, views hear `changed` at most once per turn of
// the event loop, after the operation has finished.
class WorkbenchBridge final : public QObject {
    Q_OBJECT
public:
    explicit WorkbenchBridge(Workbench& workbench, QObject* parent = nullptr);
    ~WorkbenchBridge() override;

    Workbench& workbench() const { return workbench_; }

signals:
    void changed();

private:
    Workbench& workbench_;
    int subscription_;
    bool pending_ = false;
};

} // namespace tonfield::ui
