// SPDX-License-Identifier: GPL-3.0-or-later
// The window's cost of one poll-timer tick while a job runs with a 1 GiB log:
// the Workbench's tick and the redraw it causes, in CPU time per tick.

#include "ui/main_window.hpp"
#include "ui/workbench_bridge.hpp"

#include "running_job.hpp"

#include <QApplication>

#include <cstdio>
#include <ctime>

namespace {

double cpuSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    tonfield::bench::RunningJob job;
    tonfield::bench::growLog(job.jobFile("process.log"), std::int64_t(1) << 30);
    tonfield::ui::WorkbenchBridge bridge(*job.workbench);
    tonfield::ui::MainWindow window(bridge, {});
    window.show();
    QCoreApplication::processEvents();

    constexpr int ticks = 200;
    const double start = cpuSeconds();
    for (int tick = 0; tick < ticks; ++tick) {
        job.platform.clock.now += 0.4;
        job.platform.timers.fireAll();
        QCoreApplication::processEvents();
    }
    const double perTick = (cpuSeconds() - start) / ticks;
    std::printf("window tick while running, 1 GiB log: %.0f us CPU per tick (%.2f %% of a core "
                "at one tick every 0.4 s)\n",
                perTick * 1e6, perTick / 0.4 * 100);
    return 0;
}
