// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/single_instance.hpp"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

namespace tonfield::app {
namespace {

// A window that does not answer within this long is taken for hung: the new
// start opens a window of its own rather than lose the files.
constexpr int answerMs = 5000;
constexpr char acknowledged = '\x01';

// File names travel as the file system's bytes, not as text.
QByteArrayList encoded(const QStringList& files)
{
    QByteArrayList names;
    for (const QString& file : files)
        names.append(QFile::encodeName(file));
    return names;
}

} // namespace

SingleInstance::SingleInstance(QString socketPath)
    : socketPath_(std::move(socketPath))
{
    QObject::connect(&server_, &QLocalServer::newConnection, [this] { accept(); });
}

QString SingleInstance::defaultSocketPath()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        return {};
    // The settings folder names the history and engine a window shows; a
    // second settings folder (another XDG_CONFIG_HOME) gets its own window.
    const QByteArray settings =
        QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation).toUtf8();
    const QByteArray key =
        QCryptographicHash::hash(settings, QCryptographicHash::Sha256).toHex().left(16);
    return QDir(runtime).filePath("tonfield-" + QString::fromLatin1(key) + ".socket");
}

bool SingleInstance::handOverOrListen(const QStringList& files)
{
    if (socketPath_.isEmpty())
        return false;
    // Two starts at the same moment: the lock lets one become the window
    // before the other looks for it.
    QLockFile lock(socketPath_ + ".lock");
    lock.setStaleLockTime(answerMs * 2);
    const bool locked = lock.tryLock(answerMs * 2);
    if (handOver(files))
        return true;
    if (locked)
        listen();
    return false;
}

void SingleInstance::setReceiver(Receiver receiver)
{
    receiver_ = std::move(receiver);
    for (const QStringList& files : std::exchange(waiting_, {}))
        receiver_(files);
}

bool SingleInstance::handOver(const QStringList& files)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(answerMs))
        return false;
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out << encoded(files);
    socket.write(message);
    if (!socket.waitForBytesWritten(answerMs))
        return false;
    while (socket.bytesAvailable() == 0) {
        if (!socket.waitForReadyRead(answerMs))
            return false;
    }
    return socket.read(1) == QByteArray(1, acknowledged);
}

void SingleInstance::listen()
{
    // What is left of a window that ended without closing its socket: the
    // hand-over above found nobody behind it.
    QLocalServer::removeServer(socketPath_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.listen(socketPath_);
}

void SingleInstance::accept()
{
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
            QDataStream in(socket);
            in.startTransaction();
            QByteArrayList names;
            in >> names;
            if (!in.commitTransaction())
                return; // the rest has not arrived yet
            socket->write(QByteArray(1, acknowledged));
            socket->flush();
            socket->disconnectFromServer();
            QStringList files;
            for (const QByteArray& name : names)
                files.append(QFile::decodeName(name));
            // Delivered from the event loop: the receiver may open a dialog,
            // and this socket must not be inside its own handler meanwhile.
            QMetaObject::invokeMethod(
                &server_,
                [this, files] {
                    if (receiver_)
                        receiver_(files);
                    else
                        waiting_.append(files);
                },
                Qt::QueuedConnection);
        });
    }
}

} // namespace tonfield::app
