// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/quit_confirmation.hpp"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace tonfield::app {

QuitConfirmation::QuitConfirmation(Workbench& workbench, Ask ask)
    : workbench_(workbench)
    , ask_(std::move(ask))
{
}

bool QuitConfirmation::mayQuit()
{
    // `busy` stays true after terminateForExit until the engine's exit is
    // reported, which a quitting application no longer waits for.
    if (decided_ || !workbench_.busy())
        return true;
    if (!ask_())
        return false;
    decideToQuit();
    return true;
}

void QuitConfirmation::decideToQuit()
{
    workbench_.terminateForExit();
    decided_ = true;
}

bool QuitConfirmation::mayCloseMainWindow()
{
    if (!mayQuit())
        return false;
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    return true;
}

void QuitConfirmation::endOnTerminationSignals()
{
    signals_ = std::make_unique<adapters::UnixSignals>([this] {
        decideToQuit();
        QCoreApplication::quit();
    });
}

bool QuitConfirmation::askWithAlert()
{
    QMessageBox alert(QApplication::activeWindow());
    alert.setObjectName("quitAlert");
    alert.setText("取消分轨并退出？");
    alert.setInformativeText("当前任务尚未完成。已完成的音轨和历史记录会保留。");
    // Wide enough that the sentence stays on one line instead of orphaning
    // "留。": Chinese may wrap anywhere, so the alert would otherwise be narrow.
    if (auto* informative = alert.findChild<QLabel*>("qt_msgbox_informativelabel"))
        informative->setMinimumWidth(
            informative->fontMetrics().horizontalAdvance(alert.informativeText()) + 2);
    QPushButton* keepGoing = alert.addButton("继续分轨", QMessageBox::RejectRole);
    alert.addButton("退出", QMessageBox::DestructiveRole);
    alert.setDefaultButton(keepGoing);
    alert.setEscapeButton(keepGoing);
    alert.exec();
    // Only "退出" quits; an alert closed without an answer keeps the job running.
    const QAbstractButton* answer = alert.clickedButton();
    return answer && answer != keepGoing;
}

} // namespace tonfield::app
