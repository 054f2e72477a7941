// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

class QCoreApplication;

namespace tonfield::app {

// Qt's own texts (file choosers, standard buttons, context menus) in Chinese,
// so the whole window speaks one language. Missing translation files (the
// qt6-translations-l10n package) leave them in English.
void loadChineseQtTranslations(QCoreApplication& application);

} // namespace tonfield::app
