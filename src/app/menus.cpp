// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/menus.hpp"

#include "ui/workbench_bridge.hpp"

#include <QAction>
#include <QMainWindow>
#include <QMenuBar>

namespace tonfield::app {

Menus installMenus(QMainWindow& window, ui::WorkbenchBridge& bridge,
                   std::function<QWidget&()> settingsWindow)
{
    Workbench& workbench = bridge.workbench();
    // On macOS Qt moves the settings and quit items into the application menu.
    QMenu* appMenu = window.menuBar()->addMenu("Tonfield");
    QMenu* fileMenu = window.menuBar()->addMenu("文件");
    QMenu* viewMenu = window.menuBar()->addMenu("视图");
    QMenu* playMenu = window.menuBar()->addMenu("播放");

    Menus menus{
        .importAudio = fileMenu->addAction("导入音频…"),
        .queueFiles = fileMenu->addAction("批量分轨…"),
        .exportAll = fileMenu->addAction("导出全部…"),
        .chooseEngine = nullptr,
        .settings = appMenu->addAction("设置…"),
        .quit = nullptr,
        .showHistory = viewMenu->addAction("处理记录"),
        .playPause = playMenu->addAction("播放 / 暂停"),
        .stopPlayback = playMenu->addAction("停止"),
        .toggleLoop = nullptr,
        .loopStart = nullptr,
        .loopEnd = nullptr,
        .loopBar = nullptr,
        .loopBack = nullptr,
        .loopOn = nullptr,
    };
    playMenu->addSeparator();
    menus.toggleLoop = playMenu->addAction("循环开 / 关");
    menus.loopStart = playMenu->addAction("在此处设循环起点");
    menus.loopEnd = playMenu->addAction("在此处设循环终点");
    menus.loopBar = playMenu->addAction("循环当前小节");
    menus.loopBack = playMenu->addAction("循环前移一小节");
    menus.loopOn = playMenu->addAction("循环后移一小节");
    menus.chooseEngine = appMenu->addAction("选择分轨引擎文件夹…");
    appMenu->addSeparator();
    menus.quit = appMenu->addAction("退出");

    menus.importAudio->setShortcut(QKeySequence::Open);
    menus.exportAll->setShortcut(QKeySequence("Ctrl+E"));
    menus.showHistory->setShortcut(QKeySequence("Ctrl+H"));
    // Space reaches the window only when the focused control does not use it
    // itself (text fields type it, buttons are pressed by it).
    menus.playPause->setShortcut(QKeySequence(Qt::Key_Space));
    menus.stopPlayback->setShortcut(QKeySequence(Qt::Key_Escape));
    menus.toggleLoop->setShortcut(QKeySequence(Qt::Key_L));
    menus.loopStart->setShortcut(QKeySequence(Qt::Key_BracketLeft));
    menus.loopEnd->setShortcut(QKeySequence(Qt::Key_BracketRight));
    menus.loopBar->setShortcut(QKeySequence(Qt::Key_B));
    // Bare arrows move the focused slider; with Alt they are free everywhere.
    menus.loopBack->setShortcut(QKeySequence("Alt+Left"));
    menus.loopOn->setShortcut(QKeySequence("Alt+Right"));
    // Not every desktop binds the standard preferences key; Ctrl+, always works.
    menus.settings->setShortcuts({QKeySequence("Ctrl+,"), QKeySequence::Preferences});
    menus.settings->setMenuRole(QAction::PreferencesRole);
    menus.quit->setShortcut(QKeySequence::Quit);
    menus.quit->setMenuRole(QAction::QuitRole);

    QObject::connect(menus.importAudio, &QAction::triggered, &window,
                     [&workbench] { workbench.chooseFile(); });
    QObject::connect(menus.queueFiles, &QAction::triggered, &window,
                     [&workbench] { workbench.jobQueue().chooseFilesToQueue(); });
    QObject::connect(menus.chooseEngine, &QAction::triggered, &window,
                     [&workbench] { workbench.chooseEngine(); });
    QObject::connect(menus.settings, &QAction::triggered, &window,
                     [&window, settingsWindow = std::move(settingsWindow)] {
                         QWidget& shown = settingsWindow();
                         // First shown over the main window, not wherever the
                         // window manager puts a new one; later where the user
                         // left it.
                         if (!shown.property("placed").toBool()) {
                             shown.adjustSize();
                             shown.move(window.frameGeometry().center() -
                                        QPoint(shown.width() / 2, shown.height() / 2));
                             shown.setProperty("placed", true);
                         }
                         shown.show();
                         shown.raise();
                         shown.activateWindow();
                     });
    QObject::connect(menus.quit, &QAction::triggered, &window, [&window] { window.close(); });
    QObject::connect(menus.exportAll, &QAction::triggered, &window,
                     [&workbench] { workbench.exportAll(); });
    // As the sidebar's button: the list is re-read every time the history opens.
    QObject::connect(menus.showHistory, &QAction::triggered, &window, [&workbench] {
        workbench.loadHistory();
        workbench.setShowHistory(true);
    });
    QObject::connect(menus.playPause, &QAction::triggered, &window, [&workbench] {
        if (workbench.mixDesk().mixLoaded())
            workbench.mixDesk().playMix();
        else if (auto file = workbench.loadedFile())
            workbench.play(*file);
    });
    QObject::connect(menus.stopPlayback, &QAction::triggered, &window,
                     [&workbench] { workbench.stopPlayback(); });
    QObject::connect(menus.toggleLoop, &QAction::triggered, &window,
                     [&workbench] { workbench.mixDesk().toggleLoop(); });
    QObject::connect(menus.loopStart, &QAction::triggered, &window,
                     [&workbench] { workbench.mixDesk().setLoopStartHere(); });
    QObject::connect(menus.loopEnd, &QAction::triggered, &window,
                     [&workbench] { workbench.mixDesk().setLoopEndHere(); });
    QObject::connect(menus.loopBar, &QAction::triggered, &window,
                     [&workbench] { workbench.songTimeline().loopCurrentBar(); });
    QObject::connect(menus.loopBack, &QAction::triggered, &window,
                     [&workbench] { workbench.songTimeline().moveLoop(-1); });
    QObject::connect(menus.loopOn, &QAction::triggered, &window,
                     [&workbench] { workbench.songTimeline().moveLoop(1); });

    auto followBusy = [menus, &workbench] {
        menus.importAudio->setEnabled(!workbench.busy());
        menus.chooseEngine->setEnabled(!workbench.busy());
        menus.exportAll->setEnabled(!workbench.stems().empty());
        const bool loaded = workbench.loadedFile().has_value() || workbench.mixDesk().mixLoaded();
        menus.playPause->setEnabled(loaded);
        menus.stopPlayback->setEnabled(loaded);
        menus.toggleLoop->setEnabled(workbench.mixDesk().mixLoaded() &&
                                     workbench.mixDesk().loop().has_value());
        menus.loopStart->setEnabled(workbench.mixDesk().mixLoaded());
        menus.loopEnd->setEnabled(workbench.mixDesk().mixLoaded());
        // The bar commands need the bars.
        const bool bars =
            workbench.mixDesk().mixLoaded() && workbench.songTimeline().analysis().has_value();
        menus.loopBar->setEnabled(bars);
        menus.loopBack->setEnabled(bars && workbench.mixDesk().loop().has_value());
        menus.loopOn->setEnabled(bars && workbench.mixDesk().loop().has_value());
    };
    QObject::connect(&bridge, &ui::WorkbenchBridge::changed, &window, followBusy);
    followBusy();
    return menus;
}

} // namespace tonfield::app
