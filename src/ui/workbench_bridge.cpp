#include "ui/workbench_bridge.hpp"

namespace tonfield::ui {

WorkbenchBridge::WorkbenchBridge(Workbench& workbench, QObject* parent)
    : QObject(parent)
    , workbench_(workbench)
{
    subscription_ = workbench_.subscribe([this](Workbench::Field) {
        if (pending_)
            return;
        pending_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                pending_ = false;
                emit changed();
            },
            Qt::QueuedConnection);
    });
}

WorkbenchBridge::~WorkbenchBridge() { workbench_.unsubscribe(subscription_); }

} // namespace tonfield::ui
