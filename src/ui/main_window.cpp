#include "ui/main_window.hpp"

#include "platform/qt_platform.hpp"
#include "ui/workbench_bridge.hpp"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace tonfield::ui {

MainWindow::MainWindow(WorkbenchBridge& bridge, QWidget* parent)
    : QMainWindow(parent)
    , bridge_(bridge)
    , engineLabel_(new QLabel)
    , historyLabel_(new QLabel)
    , chooseEngineButton_(new QPushButton("选择分轨引擎文件夹…"))
{
    setWindowTitle("Tonfield · 音乐分轨");
    setMinimumSize(960, 700);
    resize(1240, 860);

    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->addStretch();
    for (QLabel* label : {engineLabel_, historyLabel_}) {
        label->setAlignment(Qt::AlignCenter);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        column->addWidget(label);
    }
    column->addWidget(chooseEngineButton_, 0, Qt::AlignCenter);
    column->addStretch();
    setCentralWidget(page);

    connect(chooseEngineButton_, &QPushButton::clicked, this,
            [this] { bridge_.workbench().chooseEngine(); });
    connect(&bridge_, &WorkbenchBridge::changed, this, &MainWindow::refresh);
    refresh();
}

void MainWindow::refresh()
{
    const Workbench& workbench = bridge_.workbench();
    if (const auto& root = workbench.engineRoot()) {
        engineLabel_->setText(QString("分轨引擎：%1（%2）")
                                  .arg(platform::toQString(*root),
                                       workbench.ready() ? "就绪" : "未就绪"));
    } else {
        engineLabel_->setText("分轨引擎：尚未配置");
    }
    historyLabel_->setText(QString("处理记录：%1").arg(workbench.jobs().size()));
    chooseEngineButton_->setEnabled(!workbench.busy());
    showPendingError();
}

void MainWindow::showPendingError()
{
    Workbench& workbench = bridge_.workbench();
    if (alertOpen_ || !workbench.error())
        return;
    alertOpen_ = true;
    QMessageBox alert(QMessageBox::Warning, "提示", QString::fromStdString(*workbench.error()),
                      QMessageBox::NoButton, this);
    alert.addButton("好", QMessageBox::AcceptRole);
    alert.exec();
    alertOpen_ = false;
    workbench.setError(std::nullopt);
}

} // namespace tonfield::ui
