#include "platform/qt_platform.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QProcessEnvironment>

namespace tonfield::platform {

std::filesystem::path toPath(const QString& path)
{
    const QByteArray bytes = path.toUtf8();
    return std::filesystem::path(std::string(bytes.constData(), bytes.size()));
}

QString toQString(const std::filesystem::path& path)
{
    return QString::fromStdString(path.string());
}

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

std::map<std::string, std::string> QtAppEnvironment::environment()
{
    std::map<std::string, std::string> variables;
    const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
    for (const QString& name : system.keys())
        variables[name.toStdString()] = system.value(name).toStdString();
    return variables;
}

} // namespace tonfield::platform
