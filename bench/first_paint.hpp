// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The probe both start-up children carry: prints the monotonic time of a
// widget's first paint, then quits or, for the idle measurement, waits and
// prints the process's memory and CPU use.

#include "process_usage.hpp"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <ctime>

namespace tonfield::bench {

inline double monotonicSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

class FirstPaint final : public QObject {
public:
    FirstPaint(QWidget& widget, int idleSeconds)
        : idleSeconds_(idleSeconds)
    {
        widget.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            std::printf("painted %.6f\n", monotonicSeconds());
            std::fflush(stdout);
            if (idleSeconds_ == 0) {
                QTimer::singleShot(0, qApp, &QApplication::quit);
            } else {
                const double cpuBefore = cpuSeconds();
                QTimer::singleShot(idleSeconds_ * 1000, qApp, [cpuBefore] {
                    std::printf("idle %ld %.3f\n", residentKiB(), cpuSeconds() - cpuBefore);
                    QApplication::quit();
                });
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    int idleSeconds_;
    bool seen_ = false;
};

} // namespace tonfield::bench
