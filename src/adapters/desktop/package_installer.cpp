// SPDX-License-Identifier: GPL-3.0-or-later

#include "adapters/desktop/package_installer.hpp"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

#include <limits>

namespace tonfield::adapters {
namespace {

constexpr const char* service = "org.freedesktop.PackageKit";
constexpr const char* path = "/org/freedesktop/PackageKit";
// Shows what will be installed and asks; no search for other providers.
constexpr const char* interaction = "show-confirm-install,hide-confirm-search";

QDBusMessage modify2(const QStringList& packages)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, path, "org.freedesktop.PackageKit.Modify2", "InstallPackageNames");
    call << packages << QString(interaction) << QString("io.github.tonfield.Tonfield.desktop")
         << QVariantMap();
    return call;
}

QDBusMessage modify(const QStringList& packages)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, path, "org.freedesktop.PackageKit.Modify", "InstallPackageNames");
    call << quint32(0) << packages << QString(interaction); // 0: no window to stack above
    return call;
}

} // namespace

bool PackageKitInstaller::available()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    const QDBusConnectionInterface& names = *bus.interface();
    return names.isServiceRegistered(service).value() ||
           names.activatableServiceNames().value().contains(service);
}

void PackageKitInstaller::install(const std::vector<std::string>& packages,
                                  std::function<void(std::optional<std::string>)> done)
{
    QStringList names;
    for (const std::string& package : packages)
        names << QString::fromStdString(package);
    auto send = [names, this, done](QDBusMessage call, auto&& onUnknown) {
        auto* watcher = new QDBusPendingCallWatcher(
            QDBusConnection::sessionBus().asyncCall(call, std::numeric_limits<int>::max()),
            &context_);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &context_,
                         [watcher, done, onUnknown](QDBusPendingCallWatcher*) {
                             watcher->deleteLater();
                             const QDBusPendingReply<> reply = *watcher;
                             if (!reply.isError())
                                 return done(std::nullopt);
                             const QString error = reply.error().name();
                             if (error == "org.freedesktop.DBus.Error.UnknownMethod" ||
                                 error == "org.freedesktop.DBus.Error.UnknownInterface")
                                 return onUnknown();
                             done(reply.error().message().toStdString());
                         });
    };
    send(modify2(names), [send, names, done] {
        send(modify(names), [done] { done("the desktop's PackageKit service offers no install"); });
    });
}

} // namespace tonfield::adapters
