// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "workbench/workbench.hpp"

#include "adapters/unix_signals.hpp"

#include <functional>
#include <memory>

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

    // The main window's close button: when the decision allows, the window
    // closes and the application ends after it.
    bool mayCloseMainWindow();

    // From now on SIGTERM and SIGINT end the application with no one to ask:
    // a running job is recorded as cancelled, the engine asked to stop, and
    // every quit request that follows (the windows closing) is granted.
    void endOnTerminationSignals();

    // The modal question, as the window shows it.
    static bool askWithAlert();

private:
    // Records a running job as cancelled and asks the engine to stop.
    void decideToQuit();

    Workbench& workbench_;
    Ask ask_;
    bool decided_ = false;
    std::unique_ptr<adapters::UnixSignals> signals_;
};

} // namespace tonfield::app
