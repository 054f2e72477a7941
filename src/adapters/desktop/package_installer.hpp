// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QObject>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tonfield::adapters {

// Asks the desktop to install Debian packages, where it has a way to: the
// session's PackageKit service, which shows the desktop's own confirmation
// and asks for the administrator's password.
class PackageInstaller {
public:
    virtual ~PackageInstaller() = default;
    // Whether this desktop offers it; asked once a window is built.
    virtual bool available() = 0;
    // Returns at once; `done` runs on the main thread with the failure's
    // reason, or none when the packages were installed.
    virtual void install(const std::vector<std::string>& packages,
                         std::function<void(std::optional<std::string> failure)> done) = 0;
};

// Through the session bus: org.freedesktop.PackageKit's Modify2 interface
// (GNOME Software, KDE's Discover), or the older Modify where only that one
// is offered. The call lasts as long as the user takes, so it has no timeout.
class PackageKitInstaller final : public PackageInstaller {
public:
    bool available() override;
    void install(const std::vector<std::string>& packages,
                 std::function<void(std::optional<std::string> failure)> done) override;

private:
    QObject context_; // replies that arrive after this is gone are dropped
};

} // namespace tonfield::adapters
