// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/event_loop.hpp"
#include "adapters/qt_adapters.hpp"

#include <gtest/gtest.h>

namespace tonfield::adapters {
namespace {

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
    ASSERT_TRUE(test::runUntil([&] { return firings >= 3; }));
    EXPECT_FALSE(firedInsideCaller);

    timer.reset();
    const int atStop = firings;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    EXPECT_EQ(firings, atStop);
}

} // namespace
} // namespace tonfield::adapters
