// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/engine_description.hpp"
#include "workbench/field_publisher.hpp"
#include "workbench/log_handle.hpp"

#include "ports/services.hpp"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tonfield {

class Workbench;

// One engine Tonfield knows, as the settings window and `tonfield engines`
// show it.
struct EngineEntry {
    enum class State {
        ready,         // set up: a job can use it
        needsPackages, // Debian packages it needs are missing
        notSetUp,      // no folder of it yet
        settingUp,     // its set-up runs
        failed,        // its last set-up failed; `detail` says why
    };

    std::string name; // the template's name: "reference", "hdemucs"
    engine::Description description;
    std::filesystem::path folder; // where the manager makes it
    State state = State::notSetUp;
    std::vector<std::string> missingPackages;
    std::string detail; // a set-up's last line while it runs, or why it failed
    bool inUse = false;
    std::optional<std::uint64_t> diskBytes; // once measured
    std::optional<std::size_t> jobCount;    // once measured

    bool operator==(const EngineEntry&) const = default;
};

// The engines made from the templates this application brings: their
// states, and setting one up, using it, and removing it. Set-ups run as
// child processes, as the first run's does; the window stays usable.
//
// Folders: the reference engine's is the one the first run makes,
// <data>/Engine; every other engine's is <data>/Engines/<name>.
//
// Threading: main thread only. Folders are measured on a worker; the result
// comes back to the main thread through the background service.
class EngineManager {
public:
    EngineManager(Workbench& workbench, ports::Services services, const FieldPublisher& publisher);
    EngineManager(const EngineManager&) = delete;
    EngineManager& operator=(const EngineManager&) = delete;

    const std::vector<EngineEntry>& engines() const { return engines_; }
    const EngineEntry* find(const std::string& name) const;
    // The engine whose folder is the one in use, if the manager made it.
    const EngineEntry* inUse() const;

    // Reads every template and folder again, and measures the folders on a
    // worker.
    void refresh();
    // Runs the engine's set-up; refused (with `error`) while it runs or when
    // its packages are missing.
    void setUp(const std::string& name);
    // Stops a running set-up; what it made so far stays, and is not ready.
    void cancelSetUp(const std::string& name);
    // Makes a ready engine's folder the engine folder, as choosing it by hand
    // does. Refused while a job runs.
    void use(const std::string& name);
    // Moves the engine's folder, its jobs included, to the trash. Refused for
    // the engine in use and while its set-up runs.
    void remove(const std::string& name);

    // The command line that installs what an engine needs, for a desktop
    // without a package manager of its own to ask.
    static std::string installCommand(const std::vector<std::string>& packages);

    // At start-up: a folder made from a template that a package upgrade has
    // replaced is set up again (its scripts refreshed, its environment and
    // data kept), without a word unless that fails.
    void refreshFromTemplates();

    // What the Workbench tells it.
    void poll();              // at each tick: a running set-up's last line
    void engineRootChanged(); // which engine is in use
    bool settingUp() const { return !setUps_.empty(); }

private:
    struct SetUp {
        std::unique_ptr<ports::RunningProcess> process;
        std::filesystem::path log;
        std::string templateIdentity; // stamped on the folder when it succeeds
        bool upgrade = false;         // a refresh at start-up, not the user's set-up
    };

    std::filesystem::path folderOf(const std::string& name) const;
    std::filesystem::path setUpLog(const std::string& name) const;
    EngineEntry entryFor(const std::string& name, const std::filesystem::path& templateFolder);
    // Runs the template's set-up on the engine's folder; false (with
    // `error`) when it could not be started.
    bool launchSetUp(const std::string& name, const std::filesystem::path& templateFolder,
                     const std::string& displayName, bool upgrade);
    void setUpEnded(const std::string& name, int status);
    void applySize(EngineEntry& entry) const; // as far as measured
    void publish(std::vector<EngineEntry> engines);
    void measured(std::map<std::string, std::pair<std::uint64_t, std::size_t>> sizes);

    Workbench& workbench_;
    ports::Services services_;
    const FieldPublisher& publisher_;
    std::shared_ptr<EngineManager*> self_ = std::make_shared<EngineManager*>(this);

    std::vector<EngineEntry> engines_;
    std::map<std::string, SetUp> setUps_;
    std::map<std::string, std::string> failures_; // by name: the last set-up's reason
    std::map<std::string, std::pair<std::uint64_t, std::size_t>> sizes_; // bytes, jobs
};

} // namespace tonfield
