#pragma once

class QAction;
class QMainWindow;
class QWidget;

namespace tonfield::ui {
class WorkbenchBridge;
}

namespace tonfield::app {

// The window's menus. The import and engine-folder commands follow `busy`.
struct Menus {
    QAction* importAudio;
    QAction* chooseEngine;
    QAction* settings;
    QAction* quit;
};

// openSettings shows the settings window; quit asks the window to close, which
// passes the quit decision.
Menus installMenus(QMainWindow& window, ui::WorkbenchBridge& bridge, QWidget& settingsWindow);

} // namespace tonfield::app
