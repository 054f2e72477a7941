#include "ui/main_window.hpp"
#include "ui/workbench_bridge.hpp"
#include "workbench/workbench.hpp"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Tonfield");
    QApplication::setApplicationName("Tonfield");
    QApplication::setApplicationVersion(TONFIELD_VERSION);

    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x15, 0x17, 0x1a));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Base, QColor(0x1e, 0x21, 0x25));
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::Button, QColor(0x26, 0x2a, 0x2f));
    dark.setColor(QPalette::ButtonText, Qt::white);
    QApplication::setPalette(dark);

    tonfield::ui::WorkbenchBridge bridge(tonfield::Workbench::shared());
    tonfield::ui::MainWindow window(bridge);
    window.show();
    return QApplication::exec();
}
