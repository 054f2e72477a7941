#include "platform/qt_platform.hpp"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>

#include <gtest/gtest.h>

namespace tonfield::platform {
namespace {

// Runs the event loop until `done` holds; the deadline only guards against a
// hang and is far beyond what the timer needs.
template <class Predicate>
bool runUntil(Predicate done)
{
    QDeadlineTimer deadline(30'000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return done();
}

TEST(QtTimers, FiresRepeatedlyOnTheEventLoopUntilDestroyed)
{
    QtTimers timers;
    int firings = 0;
    bool firedInsideCaller = false;
    bool starting = true;
    auto timer = timers.startRepeating(0.01, [&] {
        firedInsideCaller = firedInsideCaller || starting;
        ++firings;
    });
    starting = false;
    ASSERT_TRUE(runUntil([&] { return firings >= 3; }));
    EXPECT_FALSE(firedInsideCaller);

    timer.reset();
    const int atStop = firings;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    EXPECT_EQ(firings, atStop);
}

} // namespace
} // namespace tonfield::platform
