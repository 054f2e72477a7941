// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/qt_adapters.hpp"

#include <QUuid>

namespace tonfield::adapters {

std::string QtIdSource::newUuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
}

} // namespace tonfield::adapters
