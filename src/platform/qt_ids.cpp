#include "platform/qt_platform.hpp"

#include <QUuid>

namespace tonfield::platform {

std::string QtIdSource::newUuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
}

} // namespace tonfield::platform
