// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/field_set.hpp"

#include <QMainWindow>
#include <QUrl>

#include <functional>

class QMessageBox;

namespace tonfield::ui {

class WorkbenchBridge;
class WorkspaceView;

// The application window: the workspace, and the alert that shows `error`.
class MainWindow final : public QMainWindow {
public:
    struct Options {
        std::function<void(const QUrl&)> openUrl;
        // Asked before the window closes; false keeps it open.
        std::function<bool()> mayClose;
    };

    static constexpr QSize defaultContentSize{1240, 860};
    static constexpr QSize minimumContentSize{960, 700};

    MainWindow(WorkbenchBridge& bridge, Options options, QWidget* parent = nullptr);

    WorkspaceView& workspace() const { return *workspace_; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void refresh(const FieldSet& changed = FieldSet::all());
    void showPendingError();

    WorkbenchBridge& bridge_;
    Options options_;
    WorkspaceView* workspace_;
    QMessageBox* alert_ = nullptr; // the error alert while it is up
    bool sized_ = false;
};

} // namespace tonfield::ui
