#include "adapters/qt_adapters.hpp"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>

#include <unistd.h>

namespace tonfield::adapters {
namespace {

// A folder that exists and can be written, or the nearest existing folder
// above it can, so that it could be made.
bool writableOrCreatable(QString folder)
{
    QFileInfo info(folder);
    while (!info.exists()) {
        const QString parent = info.absolutePath();
        if (parent == info.absoluteFilePath())
            return false;
        info = QFileInfo(parent);
    }
    return info.isDir() && info.isWritable();
}

} // namespace

// The freedesktop.org rules QFile::moveToTrash follows: the home trash for
// what is on the home trash's disk, else a trash at the top of the file's own
// disk, which must not be a symbolic link.
bool QtTrash::available(const std::filesystem::path& path)
{
    const QString homeTrash =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash";
    const QStorageInfo disk(toQString(path));
    if (!disk.isValid())
        return false;
    QString dataHome = homeTrash;
    while (!QFileInfo::exists(dataHome) && dataHome.contains('/'))
        dataHome = QFileInfo(dataHome).absolutePath();
    if (QStorageInfo(dataHome).rootPath() == disk.rootPath())
        return writableOrCreatable(homeTrash);
    const QString top = disk.rootPath();
    const QFileInfo shared(top + "/.Trash");
    if (shared.isDir() && !shared.isSymLink() && writableOrCreatable(shared.filePath()))
        return true;
    const QFileInfo own(top + QString("/.Trash-%1").arg(::getuid()));
    return own.exists() ? own.isDir() && !own.isSymLink() && own.isWritable()
                        : writableOrCreatable(top);
}

Result<> QtTrash::moveToTrash(const std::filesystem::path& path)
{
    QFile file(toQString(path));
    if (file.moveToTrash())
        return Result<>::done();
    return Result<>::failed(path.string() + ": " +
                            (file.errorString().isEmpty() ? std::string("could not be moved")
                                                          : file.errorString().toStdString()));
}

} // namespace tonfield::adapters
