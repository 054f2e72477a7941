#pragma once

#include "workbench/workbench.hpp"

#include <functional>

namespace tonfield::app {

// The one decision every way of quitting passes through. Idle: quit at once.
// While a job runs: ask; "继续分轨" keeps everything as it is, "退出" records
// the job as cancelled, asks the engine to stop (without waiting) and quits.
class QuitConfirmation {
public:
    // Shows the question; true when the user chose to quit.
    using Ask = std::function<bool()>;

    QuitConfirmation(Workbench& workbench, Ask ask);

    // Whether the application may end now.
    bool mayQuit();

    // The modal question, as the window shows it.
    static bool askWithAlert();

private:
    Workbench& workbench_;
    Ask ask_;
};

} // namespace tonfield::app
