// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/field_set.hpp"
#include "workbench/workbench.hpp"

#include <QWidget>

class QLabel;
class QScrollArea;

namespace tonfield::app {
class EngineSection;
}

namespace tonfield::ui {
class WorkbenchBridge;
}
namespace tonfield::adapters {
class PackageInstaller;
}

namespace tonfield::app {

// Where the engine folder is shown and chosen, and below it the engines the
// installation can set up.
class SettingsWindow final : public QWidget {
public:
    static constexpr int widthPx = 520;
    // Room left on the screen for the window's frame and title.
    static constexpr int screenMarginPx = 64;

    SettingsWindow(ui::WorkbenchBridge& bridge, adapters::PackageInstaller& installer,
                   QWidget* parent = nullptr);
    void refresh(const ui::FieldSet& changed = ui::FieldSet::all());

private:
    void placeOnScreen();

    Workbench& workbench_;
    QLabel* engineFolder_;
    EngineSection* engines_;
    QScrollArea* scroll_;
};

} // namespace tonfield::app
