// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>

namespace tonfield::test {

// Runs the event loop until `done` holds. The deadline only keeps a broken
// build from hanging the suite; every wait ends on an event, not on time.
template <class Predicate> bool runUntil(Predicate done, int deadlineMs = 60'000)
{
    QDeadlineTimer deadline(deadlineMs);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return done();
}

} // namespace tonfield::test
