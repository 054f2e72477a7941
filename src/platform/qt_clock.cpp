#include "platform/qt_platform.hpp"

#include <QDateTime>

namespace tonfield::platform {

double QtClock::nowSeconds()
{
    return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

} // namespace tonfield::platform
