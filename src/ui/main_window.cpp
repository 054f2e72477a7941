// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/main_window.hpp"

#include "ui/workbench_bridge.hpp"
#include "ui/workspace_view.hpp"

#include <QCloseEvent>
#include <QMessageBox>

namespace tonfield::ui {

MainWindow::MainWindow(WorkbenchBridge& bridge, Options options, QWidget* parent)
    : QMainWindow(parent)
    , bridge_(bridge)
    , options_(std::move(options))
    , workspace_(new WorkspaceView(bridge.workbench(), options_.openUrl))
{
    setWindowTitle("Tonfield · 音乐分轨");
    // The sizes are the content's: the menu bar comes on top of them.
    workspace_->setMinimumSize(minimumContentSize);
    setCentralWidget(workspace_);
    connect(&bridge_, &WorkbenchBridge::changed, this, &MainWindow::refresh);
    refresh();
}

void MainWindow::refresh(const FieldSet& changed)
{
    workspace_->refresh(changed);
    showPendingError();
}

// The alert is bound to `error`: raised while it holds a text, and dismissing
// it in any way clears it.
void MainWindow::showPendingError()
{
    Workbench& workbench = bridge_.workbench();
    if (!workbench.error())
        return;
    const QString text = QString::fromStdString(*workbench.error());
    if (alert_) { // already up: it shows the latest text
        alert_->setText(text);
        return;
    }
    QMessageBox alert(QMessageBox::NoIcon, "提示", text, QMessageBox::NoButton, this);
    alert.setObjectName("errorAlert");
    alert.setDefaultButton(alert.addButton("好", QMessageBox::AcceptRole));
    alert_ = &alert;
    alert.exec();
    alert_ = nullptr;
    workbench.setError(std::nullopt);
}

void MainWindow::showEvent(QShowEvent* event)
{
    if (!sized_) { // the menu bar is in place by the first show
        sized_ = true;
        const int menuHeight = menuWidget() ? menuWidget()->sizeHint().height() : 0;
        resize(defaultContentSize + QSize(0, menuHeight));
    }
    QMainWindow::showEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (options_.mayClose && !options_.mayClose())
        event->ignore();
    else
        event->accept();
}

} // namespace tonfield::ui
