// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/qt_adapters.hpp"

#include <QDateTime>

namespace tonfield::adapters {

double QtClock::nowSeconds()
{
    return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

} // namespace tonfield::adapters
