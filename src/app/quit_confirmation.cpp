#include "app/quit_confirmation.hpp"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace tonfield::app {

QuitConfirmation::QuitConfirmation(Workbench& workbench, Ask ask)
    : workbench_(workbench)
    , ask_(std::move(ask))
{
}

bool QuitConfirmation::mayQuit()
{
    if (!workbench_.busy())
        return true;
    if (!ask_())
        return false;
    workbench_.terminateForExit();
    return true;
}

bool QuitConfirmation::askWithAlert()
{
    QMessageBox alert(QApplication::activeWindow());
    alert.setObjectName("quitAlert");
    alert.setText("取消分轨并退出？");
    alert.setInformativeText("当前任务尚未完成。已完成的音轨和历史记录会保留。");
    QPushButton* keepGoing = alert.addButton("继续分轨", QMessageBox::RejectRole);
    alert.addButton("退出", QMessageBox::DestructiveRole);
    alert.setDefaultButton(keepGoing);
    alert.setEscapeButton(keepGoing);
    alert.exec();
    return alert.clickedButton() != keepGoing;
}

} // namespace tonfield::app
