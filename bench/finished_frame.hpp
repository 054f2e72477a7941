// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The probe every start-up child carries: prints the monotonic time at which
// a window's first frame is finished, then quits or, for the idle
// measurement, waits and prints the process's memory, CPU use and wake-ups. The first
// paint is not the finished frame: what the window posted for later (a
// refresh, a layout) may still change it. Finished is when nothing is left
// posted and the window has been painted once more after that. Under
// callgrind, instructions stop being counted there: what the process does
// on its way out (ten thousand jobs freed, say) is not part of its start.

#include "process_usage.hpp"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <ctime>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_TOGGLE_COLLECT
#endif

namespace tonfield::bench {

inline double monotonicSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

class FinishedFrame final : public QObject {
public:
    FinishedFrame(QWidget& window, int idleSeconds)
        : window_(window)
        , idleSeconds_(idleSeconds)
    {
        window.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            // After the first paint's own turn of the event loop.
            QTimer::singleShot(0, this, [this] { finish(); });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void finish()
    {
        QCoreApplication::sendPostedEvents();
        window_.repaint();
        CALLGRIND_TOGGLE_COLLECT;
        std::printf("finished %.6f\n", monotonicSeconds());
        std::fflush(stdout);
        if (idleSeconds_ == 0) {
            QTimer::singleShot(0, qApp, &QApplication::quit);
            return;
        }
        const double cpuBefore = cpuSeconds();
        const long wakeUpsBefore = wakeUps();
        QTimer::singleShot(idleSeconds_ * 1000, qApp, [cpuBefore, wakeUpsBefore] {
            std::printf("idle %ld %.3f %ld\n", residentKiB(), cpuSeconds() - cpuBefore,
                        wakeUps() - wakeUpsBefore);
            QApplication::quit();
        });
    }

    QWidget& window_;
    int idleSeconds_;
    bool seen_ = false;
};

} // namespace tonfield::bench
