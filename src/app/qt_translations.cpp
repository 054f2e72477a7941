// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/qt_translations.hpp"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace tonfield::app {

void loadChineseQtTranslations(QCoreApplication& application)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* catalogue : {"qtbase_zh_CN", "qtmultimedia_zh_CN"}) {
        auto* translator = new QTranslator(&application);
        if (translator->load(catalogue, folder))
            QCoreApplication::installTranslator(translator);
        else
            delete translator;
    }
}

} // namespace tonfield::app
