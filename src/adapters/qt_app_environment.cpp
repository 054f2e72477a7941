// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/qt_adapters.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QProcessEnvironment>
#include <QStandardPaths>

namespace tonfield::adapters {

std::filesystem::path QtAppEnvironment::applicationFolder()
{
    QDir folder(QCoreApplication::applicationDirPath());
#ifdef Q_OS_MACOS
    // Inside a bundle the executable sits in Tonfield.app/Contents/MacOS.
    if (folder.absolutePath().endsWith(".app/Contents/MacOS")) {
        folder.cd("../../..");
    }
#endif
    return toPath(folder.absolutePath());
}

std::optional<std::filesystem::path> QtAppEnvironment::builtInEngineRoot()
{
    const std::string builtIn = TONFIELD_ENGINE_ROOT;
    if (builtIn.empty())
        return std::nullopt;
    return std::filesystem::path(builtIn);
}

std::filesystem::path QtAppEnvironment::currentDirectory()
{
    return toPath(QDir::currentPath());
}

// Installed under a prefix, the reference engine lies in share/tonfield/engine
// beside the bin/ folder that holds the executable.
std::optional<std::filesystem::path> QtAppEnvironment::engineTemplate()
{
    const QDir share(QCoreApplication::applicationDirPath() + "/../share/tonfield/engine");
    if (!share.exists("separate_job.py") || !share.exists("make_engine_folder.sh"))
        return std::nullopt;
    return toPath(share.absolutePath());
}

std::filesystem::path QtAppEnvironment::userDataFolder()
{
    return toPath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                  "/Tonfield");
}

std::map<std::string, std::string> QtAppEnvironment::environment()
{
    std::map<std::string, std::string> variables;
    const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
    for (const QString& name : system.keys())
        variables[name.toStdString()] = system.value(name).toStdString();
    return variables;
}

} // namespace tonfield::adapters
