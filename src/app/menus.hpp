// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <functional>

class QAction;
class QMainWindow;
class QWidget;

namespace tonfield::ui {
class WorkbenchBridge;
}

namespace tonfield::app {

// The window's menus, which also make its keyboard shortcuts discoverable.
// Import and the engine-folder command follow `busy`; the others are enabled
// while there is something for them to act on.
struct Menus {
    QAction* importAudio;
    QAction* queueFiles;
    QAction* exportAll;
    QAction* chooseEngine;
    QAction* settings;
    QAction* quit;
    QAction* showHistory;
    QAction* playPause;
    QAction* stopPlayback;
    QAction* toggleLoop;
    QAction* loopStart;
    QAction* loopEnd;
    QAction* loopBar;
    QAction* loopBack;
    QAction* loopOn;
};

// Settings shows the settings window, which `settingsWindow` gives when first
// asked (it may build it then); quit asks the window to close, which passes
// the quit decision.
Menus installMenus(QMainWindow& window, ui::WorkbenchBridge& bridge,
                   std::function<QWidget&()> settingsWindow);

} // namespace tonfield::app
