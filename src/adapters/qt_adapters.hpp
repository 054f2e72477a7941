// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The Qt adapters behind the core's ports that need no widgets; the
// dialogs and the file browser are in desktop/.

#include "interop/qt_paths.hpp"
#include "ports/services.hpp"

#include <QString>

#include <memory>

namespace tonfield::adapters {

class QtClock final : public ports::Clock {
public:
    double nowSeconds() override;
};

class QtIdSource final : public ports::IdSource {
public:
    std::string newUuid() override;
};

// QSettings under organisation and application "Tonfield". A test passes its
// own file so it never touches the user's settings.
class QtSettings final : public ports::Settings {
public:
    QtSettings() = default;
    explicit QtSettings(QString iniFile);
    std::optional<std::string> string(const std::string& key) override;
    void setString(const std::string& key, const std::string& value) override;

private:
    QString iniFile_;
};

// Linux has no sandbox grants: starting one reports false.
class QtAccessGrants final : public ports::AccessGrants {
public:
    bool start(const std::filesystem::path&) override { return false; }
    void stop(const std::filesystem::path&) override {}
};

class QtProcessLauncher final : public ports::ProcessLauncher {
public:
    ports::Made<ports::RunningProcess> launch(const engine::Invocation& invocation, int outputFile,
                                              std::function<void(int status)> onExit) override;
};

class QtTimers final : public ports::Timers {
public:
    std::unique_ptr<ports::RepeatingTimer> startRepeating(double intervalSeconds,
                                                          std::function<void()> onFire) override;
};

// The desktop's trash as freedesktop.org's trash standard describes
// it, written here rather than taken from QFile::moveToTrash: Qt 6.4 retries
// a name for ever when the trash cannot be written, and checks too little
// beforehand. Main thread.
class FreedesktopTrash final : public ports::Trash {
public:
    bool available(const std::filesystem::path& path) override;
    Result<> moveToTrash(const std::filesystem::path& path, const std::string& shownName) override;

private:
    struct Place {
        std::filesystem::path folder; // holds files/ and info/
        std::filesystem::path top;    // the mount's top for its own trash; empty for the home trash
    };
    std::optional<Place> placeFor(const std::filesystem::path& entry, bool make) const;
};

// Qt's global thread pool; the main-thread part arrives through the event loop.
class QtBackgroundWork final : public ports::BackgroundWork {
public:
    ~QtBackgroundWork() override;
    void run(std::function<std::function<void()>()> work) override;

private:
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true); // read on the main thread only
};

class QtAppEnvironment final : public ports::AppEnvironment {
public:
    std::filesystem::path applicationFolder() override;
    std::optional<std::filesystem::path> builtInEngineRoot() override;
    std::filesystem::path currentDirectory() override;
    std::optional<std::filesystem::path> engineTemplate() override;
    std::map<std::string, std::filesystem::path> engineTemplates() override;
    bool packageInstalled(const std::string& package) override;
    std::filesystem::path userDataFolder() override;
    std::map<std::string, std::string> environment() override;
};

} // namespace tonfield::adapters
