// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/window_options.hpp"

#include "cli/usage.hpp"

#include <QCommandLineParser>
#include <QFileInfo>

#include <cstdio>
#include <string>

namespace tonfield::app {
namespace {

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

} // namespace

void describeApplication()
{
    QCoreApplication::setOrganizationName("Tonfield");
    QCoreApplication::setApplicationName("Tonfield");
    // No display name: Qt would append it to every window title.
    QCoreApplication::setApplicationVersion(TONFIELD_VERSION);
}

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

} // namespace tonfield::app
