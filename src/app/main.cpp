#include "app/desktop_app.hpp"
#include "workbench/workbench.hpp"

#include "adapters/qt_paths.hpp"
#include "cli/command_line.hpp"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>

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

    app::DesktopApp desktop(app, Workbench::shared());

    if (!options.positionalArguments().isEmpty()) {
        const QString file =
            QFileInfo(options.positionalArguments().constFirst()).absoluteFilePath();
        Workbench::shared().importFile(adapters::toPath(file));
    }
    desktop.show();
    return QApplication::exec();
}
