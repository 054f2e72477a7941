// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/qt_adapters.hpp"

#include <QTimer>

#include <cmath>

namespace tonfield::adapters {
namespace {

class QtRepeatingTimer final : public ports::RepeatingTimer {
public:
    QtRepeatingTimer(double intervalSeconds, std::function<void()> onFire)
    {
        timer_.setInterval(static_cast<int>(std::lround(intervalSeconds * 1000)));
        // Each firing becomes a task of its own on the main thread's queue, so a
        // slow tick never runs inside the timer's own dispatch.
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this, onFire = std::move(onFire)] {
            QMetaObject::invokeMethod(&timer_, onFire, Qt::QueuedConnection);
        });
        timer_.start();
    }

private:
    QTimer timer_;
};

} // namespace

std::unique_ptr<ports::RepeatingTimer> QtTimers::startRepeating(double intervalSeconds,
                                                                std::function<void()> onFire)
{
    return std::make_unique<QtRepeatingTimer>(intervalSeconds, std::move(onFire));
}

} // namespace tonfield::adapters
