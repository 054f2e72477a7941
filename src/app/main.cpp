// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/desktop_app.hpp"
#include "app/single_instance.hpp"
#include "workbench/workbench.hpp"

#include "cli/command_line.hpp"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QIcon>

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

using namespace tonfield;

void describeApplication()
{
    QCoreApplication::setOrganizationName("Tonfield");
    QCoreApplication::setApplicationName("Tonfield");
    // No display name: Qt would append it to every window title.
    QCoreApplication::setApplicationVersion(TONFIELD_VERSION);
}

void describeOptions(QCommandLineParser& options)
{
    const std::string usage = cli::usage();
    options.setApplicationDescription(
        "Tonfield: split a song into stems on this computer.\n\n"
        "Opens the window, with FILE imported (several FILEs are queued). Without a\n"
        "window, see `tonfield help`:\n" +
        QString::fromStdString(usage.substr(usage.find('\n', usage.find('\n') + 1) + 1)));
    options.addHelpOption();
    options.addVersionOption();
    options.addPositionalArgument("file", "An audio file to import, as if it had been dropped.",
                                  "[file...]");
}

// Reads the window's options. Answers --help, --help-all and --version (the
// process ends there with 0) and bad usage (status 2, as for every
// sub-command); otherwise returns the files to open, as absolute paths.
std::optional<QStringList> readOptions(const QCoreApplication& app, int& status)
{
    QCommandLineParser options;
    describeOptions(options);
    if (!options.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "tonfield: %s\nTry 'tonfield --help'.\n",
                     qPrintable(options.errorText()));
        status = 2;
        return std::nullopt;
    }
    options.process(app); // only help and version are left for it: it prints them and exits
    QStringList files;
    for (const QString& file : options.positionalArguments())
        files.append(QFileInfo(file).absoluteFilePath());
    return files;
}

// Whether a window can be tried at all: a platform was named, or a display.
bool displayNamed(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "-platform")
            return true;
    }
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

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

int main(int argc, char* argv[])
{
    // A sub-command runs headless, before any window machinery exists.
    if (argc > 1 && cli::isCommand(argv[1]))
        return cli::run(argc, argv);

    int status = 0;
    if (!displayNamed(argc, argv)) {
        // Help, version and mistakes are still answered; a window is not.
        QCoreApplication core(argc, argv);
        describeApplication();
        if (!readOptions(core, status))
            return status;
        std::fprintf(stderr, "tonfield: no display to open the window on (neither DISPLAY nor "
                             "WAYLAND_DISPLAY is set).\n"
                             "The command line runs without one: see 'tonfield help'.\n");
        return 1;
    }

    qtHandler = qInstallMessageHandler(reportUnreachableDisplay);
    QApplication app(argc, argv);
    qInstallMessageHandler(qtHandler);
    describeApplication();
    QApplication::setDesktopFileName("io.github.tonfield.Tonfield");
    QApplication::setWindowIcon(applicationIcon());
    const auto files = readOptions(app, status);
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
