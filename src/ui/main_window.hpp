#pragma once

#include <QMainWindow>

class QLabel;
class QPushButton;

namespace tonfield::ui {

class WorkbenchBridge;

// The application window. For now it shows the engine folder, whether the
// engine is ready and the size of the history, and lets the user pick another
// engine folder; errors are raised as an alert.
class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(WorkbenchBridge& bridge, QWidget* parent = nullptr);

private:
    // Makes every child match the Workbench's current state.
    void refresh();
    void showPendingError();

    WorkbenchBridge& bridge_;
    QLabel* engineLabel_;
    QLabel* historyLabel_;
    QPushButton* chooseEngineButton_;
    bool alertOpen_ = false;
};

} // namespace tonfield::ui
