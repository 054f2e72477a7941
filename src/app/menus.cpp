#include "app/menus.hpp"

#include "ui/workbench_bridge.hpp"

#include <QAction>
#include <QMainWindow>
#include <QMenuBar>

namespace tonfield::app {

Menus installMenus(QMainWindow& window, ui::WorkbenchBridge& bridge, QWidget& settingsWindow)
{
    Workbench& workbench = bridge.workbench();
    // On macOS Qt moves the settings and quit items into the application menu.
    QMenu* appMenu = window.menuBar()->addMenu("Tonfield");
    QMenu* fileMenu = window.menuBar()->addMenu("文件");

    Menus menus{
        .importAudio = fileMenu->addAction("导入音频…"),
        .chooseEngine = nullptr,
        .settings = appMenu->addAction("设置…"),
        .quit = nullptr,
    };
    menus.chooseEngine = appMenu->addAction("选择分轨引擎文件夹…");
    appMenu->addSeparator();
    menus.quit = appMenu->addAction("退出");

    menus.importAudio->setShortcut(QKeySequence::Open);
    menus.settings->setShortcut(QKeySequence::Preferences);
    menus.settings->setMenuRole(QAction::PreferencesRole);
    menus.quit->setShortcut(QKeySequence::Quit);
    menus.quit->setMenuRole(QAction::QuitRole);

    QObject::connect(menus.importAudio, &QAction::triggered, &window,
                     [&workbench] { workbench.chooseFile(); });
    QObject::connect(menus.chooseEngine, &QAction::triggered, &window,
                     [&workbench] { workbench.chooseEngine(); });
    QObject::connect(menus.settings, &QAction::triggered, &window, [&settingsWindow] {
        settingsWindow.show();
        settingsWindow.raise();
        settingsWindow.activateWindow();
    });
    QObject::connect(menus.quit, &QAction::triggered, &window, [&window] { window.close(); });

    auto followBusy = [menus, &workbench] {
        menus.importAudio->setEnabled(!workbench.busy());
        menus.chooseEngine->setEnabled(!workbench.busy());
    };
    QObject::connect(&bridge, &ui::WorkbenchBridge::changed, &window, followBusy);
    followBusy();
    return menus;
}

} // namespace tonfield::app
