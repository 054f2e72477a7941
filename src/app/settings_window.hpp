// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/field_set.hpp"
#include "workbench/workbench.hpp"

#include <QWidget>

class QLabel;

namespace tonfield::ui {
class WorkbenchBridge;
}

namespace tonfield::app {

// Where the engine folder is shown and chosen.
class SettingsWindow final : public QWidget {
public:
    static constexpr int widthPx = 520;

    explicit SettingsWindow(ui::WorkbenchBridge& bridge, QWidget* parent = nullptr);
    void refresh(const ui::FieldSet& changed = ui::FieldSet::all());

private:
    Workbench& workbench_;
    QLabel* engineFolder_;
};

} // namespace tonfield::app
