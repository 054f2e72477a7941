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

// Installed, the reference engine is the template above and the others lie
// in share/tonfield/engines/<name>; a build for development may name the
// source tree's engines folder instead (TONFIELD_ENGINE_TEMPLATES), where
// every engine is its own template. Installed ones come first.
std::map<std::string, std::filesystem::path> QtAppEnvironment::engineTemplates()
{
    std::map<std::string, std::filesystem::path> templates;
    auto addFolders = [&](const QString& parent) {
        const QDir folder(parent);
        for (const QString& name : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QDir candidate(folder.filePath(name));
            if (candidate.exists("make_engine_folder.sh") && candidate.exists("engine.json"))
                templates.try_emplace(name.toStdString(), toPath(candidate.absolutePath()));
        }
    };
    if (auto reference = engineTemplate())
        templates.emplace("reference", *reference);
    addFolders(QCoreApplication::applicationDirPath() + "/../share/tonfield/engines");
    if (const QString sources = TONFIELD_ENGINE_TEMPLATES; !sources.isEmpty())
        addFolders(sources);
    return templates;
}

// dpkg keeps a list of each installed package's files, named after the
// package (with ":<architecture>" for packages of one architecture among
// several); removing the package removes the list.
bool QtAppEnvironment::packageInstalled(const std::string& package)
{
    const QDir info("/var/lib/dpkg/info");
    const QString name = QString::fromStdString(package);
    if (name.isEmpty() || name.contains('/'))
        return false;
    return info.exists(name + ".list") ||
           !info.entryList({name + ":*.list"}, QDir::Files).isEmpty();
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
