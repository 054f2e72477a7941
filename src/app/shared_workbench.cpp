#include "platform/qt_platform.hpp"
#include "workbench/workbench.hpp"

namespace tonfield {

// Built on first use, after the QApplication exists (the poll timer needs its
// event loop); lives until the process ends.
Workbench& Workbench::shared()
{
    static platform::QtClock clock;
    static platform::QtIdSource ids;
    static platform::QtSettings settings;
    static platform::QtDialogs dialogs;
    static platform::QtTimers timers;
    static platform::QtAppEnvironment environment;
    static const std::shared_ptr<Workbench> instance =
        Workbench::create({clock, ids, settings, dialogs, timers, environment});
    return *instance;
}

} // namespace tonfield
