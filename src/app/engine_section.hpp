// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/field_set.hpp"
#include "workbench/workbench.hpp"

#include <QWidget>

#include <vector>

class QVBoxLayout;

namespace tonfield::adapters {
class PackageInstaller;
}

namespace tonfield::app {

// The settings window's "分轨引擎": one card per engine the installation
// can set up, with its modes, folder, state and disk use, and the actions
// "安装", "使用" and "移除". Cards are rebuilt when the engines change.
//
// Threading: main thread only.
class EngineSection final : public QWidget {
public:
    EngineSection(Workbench& workbench, adapters::PackageInstaller& installer,
                  QWidget* parent = nullptr);
    void refresh(const ui::FieldSet& changed);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* card(const EngineEntry& entry);
    QWidget* packageRow(const EngineEntry& entry);

    Workbench& workbench_;
    adapters::PackageInstaller& installer_;
    bool installing_ = false; // packages are being installed through the desktop
    QVBoxLayout* cards_;
    std::vector<EngineEntry> shown_;
    bool shownBusy_ = false;
};

} // namespace tonfield::app
