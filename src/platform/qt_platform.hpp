#pragma once

// The Qt adapters behind the core's platform interfaces.

#include "platform/platform.hpp"

#include <QString>

namespace tonfield::platform {

class QtClock final : public Clock {
public:
    double nowSeconds() override;
};

class QtIdSource final : public IdSource {
public:
    std::string newUuid() override;
};

// QSettings under organisation and application "Tonfield". A test passes its
// own file so it never touches the user's settings.
class QtSettings final : public Settings {
public:
    QtSettings() = default;
    explicit QtSettings(QString iniFile);
    std::optional<std::string> string(const std::string& key) override;
    void setString(const std::string& key, const std::string& value) override;

private:
    QString iniFile_;
};

class QtDialogs final : public Dialogs {
public:
    std::optional<std::filesystem::path> chooseFolder(const FolderRequest& request) override;
    std::optional<std::filesystem::path> chooseAudioFile() override;
    std::optional<std::filesystem::path> chooseSaveFile(const std::string& suggestedName,
                                                        const std::string& extension) override;
};

class QtFileBrowser final : public FileBrowser {
public:
    void openFolder(const std::filesystem::path& folder) override;
};

// Linux has no sandbox grants: starting one reports false.
class QtAccessGrants final : public AccessGrants {
public:
    bool start(const std::filesystem::path&) override { return false; }
    void stop(const std::filesystem::path&) override {}
};

class QtProcessLauncher final : public ProcessLauncher {
public:
    Made<RunningProcess> launch(const engine::Invocation& invocation, int outputFile,
                                std::function<void(int status)> onExit) override;
};

class QtTimers final : public Timers {
public:
    std::unique_ptr<RepeatingTimer> startRepeating(double intervalSeconds,
                                                   std::function<void()> onFire) override;
};

class QtAppEnvironment final : public AppEnvironment {
public:
    std::filesystem::path applicationFolder() override;
    std::optional<std::filesystem::path> builtInEngineRoot() override;
    std::filesystem::path currentDirectory() override;
    std::map<std::string, std::string> environment() override;
};

// Paths cross between Qt and the core as UTF-8 bytes.
std::filesystem::path toPath(const QString& path);
QString toQString(const std::filesystem::path& path);

} // namespace tonfield::platform
