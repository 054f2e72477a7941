// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QProcess>
#include <QStringList>

#include <filesystem>

namespace tonfield::test {

// Starts `program` as the command line runs: no display of any kind, and a
// home and settings of the test's own (in `home`), in `workingDirectory`.
inline void startWithoutDisplay(QProcess& process, const QString& program,
                                const QStringList& arguments, const std::filesystem::path& home,
                                const std::filesystem::path& workingDirectory)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(name);
    environment.insert("HOME", QString::fromStdString(home.string()));
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString((home / "config").string()));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(QString::fromStdString(workingDirectory.string()));
    process.start(program, arguments);
}

} // namespace tonfield::test
