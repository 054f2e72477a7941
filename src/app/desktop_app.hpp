// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "app/quit_confirmation.hpp"
#include "app/settings_window.hpp"
#include "ui/main_window.hpp"
#include "ui/wheel_guard.hpp"
#include "ui/workbench_bridge.hpp"

#include "adapters/desktop/package_installer.hpp"

#include <QStringList>

#include <memory>

class QApplication;

namespace tonfield::app {

// The window application around one Workbench: the dark theme, Qt's own
// Chinese texts, the main and settings windows with their menus, and the one
// quit decision every way of leaving passes through, desktop log-out included.
class DesktopApp {
public:
    DesktopApp(QApplication& app, Workbench& workbench);
    // The window application ends: a mix still being written is stopped (its
    // temporary file removed), and work on other threads gets a few seconds
    // to finish before the process goes.
    ~DesktopApp();
    DesktopApp(const DesktopApp&) = delete;
    DesktopApp& operator=(const DesktopApp&) = delete;

    // Shows the main window, then offers to go on with jobs an earlier run
    // left queued; the application ends when the quit decision allows.
    void show();

    // Files opened from outside (the command line, a file manager, a later
    // start): one is imported as a drop on the source card imports it;
    // several join the queue, as a drop on the history does. The window
    // comes to the front either way.
    void open(const QStringList& files);

    ui::MainWindow& window() { return window_; }

private:
    // Applied first, so every widget below is built in the dark theme.
    struct DarkTheme {
        explicit DarkTheme(QApplication& app);
    };

    DarkTheme theme_;
    ui::WheelGuard wheelGuard_;
    Workbench& workbench_;
    ui::WorkbenchBridge bridge_;
    QuitConfirmation quit_;
    ui::MainWindow window_;
    // Built when first opened: the first frame does not show it.
    adapters::PackageKitInstaller packageInstaller_;
    std::unique_ptr<SettingsWindow> settingsWindow_;
};

} // namespace tonfield::app
