// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/qt_adapters.hpp"

#include <QCoreApplication>
#include <QThreadPool>

namespace tonfield::adapters {

QtBackgroundWork::~QtBackgroundWork()
{
    *alive_ = false;
}

void QtBackgroundWork::run(std::function<std::function<void()>()> work)
{
    QThreadPool::globalInstance()->start([alive = alive_, work = std::move(work)] {
        // Checked on the main thread, where the adapter is destroyed: a result
        // that arrives after it is dropped.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [alive, then = work()] {
                if (*alive)
                    then();
            },
            Qt::QueuedConnection);
    });
}

} // namespace tonfield::adapters
