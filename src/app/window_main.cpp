// SPDX-License-Identifier: GPL-3.0-or-later
// The window, loaded by the program's entry only when one is to be opened.

#include "app/desktop_app.hpp"
#include "app/single_instance.hpp"
#include "app/window_options.hpp"
#include "workbench/workbench.hpp"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstdlib>

namespace {

using namespace tonfield;

// Qt ends with abort() when no platform plugin can reach the display named;
// a user gets a sentence and a status instead of a core dump.
QtMessageHandler qtHandler = nullptr;
void reportUnreachableDisplay(QtMsgType type, const QMessageLogContext& context,
                              const QString& text)
{
    if (type != QtFatalMsg) {
        qtHandler(type, context, text);
        return;
    }
    std::fprintf(stderr, "tonfield: the window cannot be opened: no display could be reached.\n"
                         "The command line runs without one: see 'tonfield help'.\n");
    std::_Exit(1);
}

QIcon applicationIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QString(":/icons/%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace

// Called by the program's entry once a display is named, with main()'s
// arguments; the application object ends before this returns.
extern "C" __attribute__((visibility("default"))) int tonfield_window_main(int argc, char* argv[])
{
    int status = 0;
    qtHandler = qInstallMessageHandler(reportUnreachableDisplay);
    QApplication app(argc, argv);
    qInstallMessageHandler(qtHandler);
    app::describeApplication();
    QApplication::setDesktopFileName("io.github.tonfield.Tonfield");
    QApplication::setWindowIcon(applicationIcon());
    const auto files = app::readOptions(app, status);
    if (!files)
        return status;

    app::SingleInstance instance(app::SingleInstance::defaultSocketPath());
    if (instance.handOverOrListen(*files))
        return 0;

    app::DesktopApp desktop(app, Workbench::shared());
    desktop.open(*files);
    instance.setReceiver([&desktop](const QStringList& later) { desktop.open(later); });
    desktop.show();
    return QApplication::exec();
}
