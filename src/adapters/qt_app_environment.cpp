// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/qt_adapters.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
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

// Asked of dpkg-query, dpkg's own interface to its records. Where there is
// no dpkg to ask, the answer is yes: the engine's set-up then checks its
// imports itself and says what is missing.
bool QtAppEnvironment::packageInstalled(const std::string& package)
{
    // Debian's package names; anything else (an option, a pattern) is none.
    static const QRegularExpression name("^[a-z0-9][a-z0-9+.-]+$");
    if (!name.match(QString::fromStdString(package)).hasMatch())
        return false;
    QProcess query;
    query.start("dpkg-query",
                {"--show", "--showformat=${db:Status-Status}", QString::fromStdString(package)});
    if (!query.waitForStarted(5000))
        return true;
    if (!query.waitForFinished(5000)) {
        query.kill();
        query.waitForFinished();
        return true;
    }
    return query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0 &&
           query.readAllStandardOutput().trimmed() == "installed";
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
