// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QLocalServer>
#include <QString>
#include <QStringList>

#include <functional>

namespace tonfield::app {

// One window per user and settings folder. A later start hands its files
// (absolute paths) to the window that runs over a local socket in the user's
// runtime folder, and ends; the first start listens for them. Every method
// runs on the main thread.
class SingleInstance {
public:
    using Receiver = std::function<void(const QStringList& files)>;

    // socketPath: where the running window listens; empty disables the hand-over.
    explicit SingleInstance(QString socketPath);

    // The socket for the current user and settings folder, in the runtime
    // folder; empty when there is no usable runtime folder.
    static QString defaultSocketPath();

    // True when a running window took the files (or, with none, was asked to
    // come to the front): this process has nothing left to do. Otherwise this
    // process listens from now on, so that later starts reach it; what they
    // hand over waits until a receiver is set.
    bool handOverOrListen(const QStringList& files);

    void setReceiver(Receiver receiver);

private:
    bool handOver(const QStringList& files);
    void listen();
    void accept();

    QString socketPath_;
    QLocalServer server_;
    Receiver receiver_;
    QList<QStringList> waiting_;
};

} // namespace tonfield::app
