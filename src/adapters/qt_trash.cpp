// SPDX-License-Identifier: GPL-3.0-or-later

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

QString homeTrashFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash";
}

// Where a trashed entry must land: ".../Trash/files", ".../.Trash-<uid>/files"
// or ".../.Trash/<uid>/files", as an absolute path.
bool isInATrash(const QString& landed)
{
    const QFileInfo info(landed);
    if (info.isRelative())
        return false;
    const QDir files = info.dir();
    if (files.dirName() != "files")
        return false;
    const QString trash = QFileInfo(files.absolutePath()).dir().dirName();
    const QString above =
        QFileInfo(QFileInfo(files.absolutePath()).dir().absolutePath()).dir().dirName();
    return trash == "Trash" || trash.startsWith(".Trash-") ||
           (above == ".Trash" && trash == QString::number(::getuid()));
}

} // namespace

// The freedesktop.org rules QFile::moveToTrash follows: the home trash for
// what is on the home trash's disk, else a trash at the top of the file's own
// disk, which must not be a symbolic link.
bool QtTrash::available(const std::filesystem::path& path)
{
    const QString homeTrash = homeTrashFolder();
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

// Qt makes the home trash only when the data folder above it exists, and
// where it cannot make one it renames the entry to "files/<name>" relative to
// the working directory, reporting success: the trash is made here first, and
// an entry that did not land in a trash is put back.
Result<> QtTrash::moveToTrash(const std::filesystem::path& path)
{
    const QString original = toQString(path);
    const QString homeTrash = homeTrashFolder();
    if (QStorageInfo(original).rootPath() == QStorageInfo(QDir::homePath()).rootPath()) {
        QDir().mkpath(homeTrash + "/files");
        QDir().mkpath(homeTrash + "/info");
        QFile::setPermissions(homeTrash, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QFile file(original);
    if (!file.moveToTrash())
        return Result<>::failed(path.string() + ": " +
                                (file.errorString().isEmpty() ? std::string("could not be moved")
                                                              : file.errorString().toStdString()));
    if (isInATrash(file.fileName()))
        return Result<>::done();
    const QFileInfo landed(QFileInfo(file.fileName()).absoluteFilePath());
    std::error_code ec;
    std::filesystem::rename(toPath(landed.filePath()), path, ec);
    const QDir stray = QFileInfo(landed.absolutePath()).dir();
    QFile::remove(stray.filePath("info/" + landed.fileName() + ".trashinfo"));
    stray.rmdir("files");
    stray.rmdir("info");
    return Result<>::failed(path.string() + ": no trash folder could be made");
}

} // namespace tonfield::adapters
