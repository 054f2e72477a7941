#include "app/menus.hpp"
#include "app/qt_translations.hpp"
#include "app/quit_confirmation.hpp"
#include "app/settings_window.hpp"
#include "ui/main_window.hpp"
#include "ui/theme.hpp"
#include "ui/workbench_bridge.hpp"
#include "workbench/workbench.hpp"

#include "adapters/qt_paths.hpp"
#include "cli/command_line.hpp"

#include <QApplication>
#include <QCommandLineParser>
#include <QDesktopServices>
#include <QFileInfo>
#include <QPalette>
#include <QSessionManager>
#include <QStyleFactory>

#include <string_view>

namespace {

using namespace tonfield;

void applyDarkTheme(QApplication& app)
{
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QPalette palette;
    palette.setColor(QPalette::Window, ui::theme::canvas());
    palette.setColor(QPalette::WindowText, Qt::white);
    palette.setColor(QPalette::Base, ui::theme::surface());
    palette.setColor(QPalette::AlternateBase, ui::theme::canvas());
    palette.setColor(QPalette::Text, Qt::white);
    palette.setColor(QPalette::Button, ui::theme::surface());
    palette.setColor(QPalette::ButtonText, Qt::white);
    palette.setColor(QPalette::ToolTipBase, ui::theme::surface());
    palette.setColor(QPalette::ToolTipText, Qt::white);
    palette.setColor(QPalette::Highlight, ui::theme::mint());
    palette.setColor(QPalette::HighlightedText, ui::theme::canvas());
    palette.setColor(QPalette::Disabled, QPalette::WindowText, ui::theme::muted());
    palette.setColor(QPalette::Disabled, QPalette::Text, ui::theme::muted());
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, ui::theme::muted());
    QApplication::setPalette(palette);
    QFont font("Noto Sans CJK SC");
    font.setPixelSize(13);
    app.setFont(font);
}

void describeApplication()
{
    QCoreApplication::setOrganizationName("Tonfield");
    QCoreApplication::setApplicationName("Tonfield");
    // No display name: Qt would append it to every window title.
    QCoreApplication::setApplicationVersion(TONFIELD_VERSION);
}

void describeOptions(QCommandLineParser& options)
{
    options.setApplicationDescription(
        "Tonfield: split a song into stems on this computer.\n\n"
        "Without a window:\n"
        "  tonfield separate FILE... [--mode vocal|four|six] [--format WAV|FLAC|MP3] [--high]\n"
        "                            [--engine DIR] [--export DIR]\n"
        "  tonfield history [--json]\n"
        "  tonfield export JOB_ID DIR\n"
        "  tonfield log JOB_ID");
    options.addHelpOption();
    options.addVersionOption();
    options.addPositionalArgument("file", "An audio file to import, as if it had been dropped.",
                                  "[file]");
}

} // namespace

int main(int argc, char* argv[])
{
    // A sub-command runs headless, before any window machinery exists.
    if (argc > 1 && cli::isCommand(argv[1]))
        return cli::run(argc, argv);

    // --help and --version need no window: they are answered before any
    // QApplication (and its display connection) exists.
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "-h" || word == "--help" || word == "-v" || word == "--version") {
            QCoreApplication core(argc, argv);
            describeApplication();
            QCommandLineParser options;
            describeOptions(options);
            options.process(core); // prints and exits
        }
    }

    QApplication app(argc, argv);
    describeApplication();
    QApplication::setDesktopFileName("tonfield");
    QCommandLineParser options;
    describeOptions(options);
    options.process(app);

    applyDarkTheme(app);
    app::loadChineseQtTranslations(app);
    Workbench& workbench = Workbench::shared();
    ui::WorkbenchBridge bridge(workbench);
    app::QuitConfirmation quit(workbench, &app::QuitConfirmation::askWithAlert);

    // The settings window is not a reason to keep running once the main
    // window has gone; the application ends when the quit decision allows.
    QApplication::setQuitOnLastWindowClosed(false);
    ui::MainWindow window(bridge,
                          {
                              .openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); },
                              .mayClose = [&quit] { return quit.mayCloseMainWindow(); },
                          });
    app::SettingsWindow settingsWindow(bridge);
    app::installMenus(window, bridge, settingsWindow);

    // Logging out of the desktop session passes the same decision.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, [&](QSessionManager& session) {
        if (!workbench.busy())
            return;
        if (session.allowsInteraction() && !quit.mayQuit()) {
            session.cancel();
            return;
        }
        workbench.terminateForExit();
    });

    quit.endOnTerminationSignals();

    if (!options.positionalArguments().isEmpty()) {
        const QString file =
            QFileInfo(options.positionalArguments().constFirst()).absoluteFilePath();
        workbench.importFile(adapters::toPath(file));
    }
    window.show();
    return QApplication::exec();
}
