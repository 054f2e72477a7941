#pragma once

// The narrow interfaces through which the Qt-free core reaches the outside
// world. Real adapters live beside this file (qt_*.cpp); tests supply fakes.
// Every call happens on the main thread.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tonfield::platform {

class Clock {
public:
    virtual ~Clock() = default;
    // Wall-clock time in seconds since 1970-01-01 00:00:00 UTC, with fraction.
    virtual double nowSeconds() = 0;
};

class IdSource {
public:
    virtual ~IdSource() = default;
    // A fresh random UUID in its canonical text form (8-4-4-4-12 hex digits).
    virtual std::string newUuid() = 0;
};

// The one persistent user setting store (keys such as "engineRoot").
class Settings {
public:
    virtual ~Settings() = default;
    virtual std::optional<std::string> string(const std::string& key) = 0;
    virtual void setString(const std::string& key, const std::string& value) = 0;
};

struct FolderRequest {
    std::string message;      // shown in the chooser; empty for none
    std::string confirmLabel; // empty keeps the chooser's own label
    bool canCreateFolders = false;
};

// Modal choosers. An empty result means the user cancelled.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual std::optional<std::filesystem::path> chooseFolder(const FolderRequest& request) = 0;
};

// A running repeating timer; destroying it stops it.
class RepeatingTimer {
public:
    virtual ~RepeatingTimer() = default;
};

class Timers {
public:
    virtual ~Timers() = default;
    // Calls onFire every intervalSeconds, each time as a task queued on the
    // main thread, for as long as the returned timer lives.
    virtual std::unique_ptr<RepeatingTimer> startRepeating(double intervalSeconds,
                                                           std::function<void()> onFire) = 0;
};

// Facts about the running application that locate an engine folder.
class AppEnvironment {
public:
    virtual ~AppEnvironment() = default;
    // The folder holding the application's executable (on macOS the bundle's parent).
    virtual std::filesystem::path applicationFolder() = 0;
    // An engine folder fixed when the application was built, if any.
    virtual std::optional<std::filesystem::path> builtInEngineRoot() = 0;
    virtual std::filesystem::path currentDirectory() = 0;
};

// The services one Workbench uses. Whoever builds the Workbench keeps them
// alive for at least as long as the Workbench.
struct Services {
    Clock& clock;
    IdSource& ids;
    Settings& settings;
    Dialogs& dialogs;
    Timers& timers;
    AppEnvironment& environment;
};

} // namespace tonfield::platform
