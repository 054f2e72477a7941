// SPDX-License-Identifier: GPL-3.0-or-later

#include "workbench/workbench.hpp"

#include "engine/engine_folder.hpp"
#include "engine/template_stamp.hpp"
#include "model/log_tail.hpp"

namespace tonfield {
namespace fs = std::filesystem;

namespace {
constexpr const char* preparingMessage = "正在准备本地分轨引擎…";
const std::string setupFailed = "无法准备本地分轨引擎：";
} // namespace

// An installed Tonfield brings the reference engine as a template, but no
// candidate can point at it: job folders live inside the engine folder and
// the installed one is read-only. When no candidate holds an engine, the
// template's script makes a ready folder in the user's data folder, without
// blocking the window; it becomes the engine folder when it is done.
void Workbench::prepareEngineFromTemplate()
{
    const auto engineTemplate = services_.environment.engineTemplate();
    if (!engineTemplate)
        return;
    runTemplateSetup(*engineTemplate, services_.environment.userDataFolder() / "Engine",
                     engine::templateIdentity(*engineTemplate));
    if (engineSetup_)
        publisher_.assign(Field::message, message_, std::string(preparingMessage));
}

// The folder made from the template follows the installed template: when a
// package upgrade brings another one, the next start runs its set-up on the
// folder again, which replaces the script and keeps the environment and
// data/. Silent unless it fails; a job started meanwhile still finds a whole
// script, as the set-up renames the new one into place.
void Workbench::refreshEngineFromTemplate()
{
    const auto engineTemplate = services_.environment.engineTemplate();
    const fs::path folder = services_.environment.userDataFolder() / "Engine";
    std::error_code ec;
    if (!engineTemplate || !engineRoot_ || !fs::equivalent(*engineRoot_, folder, ec))
        return;
    const std::string identity = engine::templateIdentity(*engineTemplate);
    if (!identity.empty() && engine::readStamp(folder) != identity)
        runTemplateSetup(*engineTemplate, folder, identity);
}

void Workbench::runTemplateSetup(const fs::path& engineTemplate, const fs::path& folder,
                                 const std::string& identity)
{
    const fs::path data = services_.environment.userDataFolder();
    std::error_code ec;
    fs::create_directories(data, ec);
    // The script keeps its own copy of the log's descriptor; this one closes
    // when the launch is done.
    auto log = LogHandle::open(data / "engine-setup.log");
    if (!log) {
        setError(setupFailed + log.failure());
        return;
    }
    const engine::Invocation setup{
        .executable = engineTemplate / "make_engine_folder.sh",
        .arguments = {folder.string()},
        .workingDirectory = data,
        .environment = services_.environment.environment(),
    };
    std::weak_ptr<Workbench> weak = weak_from_this();
    auto process =
        services_.launcher.launch(setup, log->descriptor(), [weak, folder, identity](int status) {
            if (auto self = weak.lock())
                self->engineSetupEnded(folder, identity, status);
        });
    if (!process) {
        setError(setupFailed + process.failure());
        return;
    }
    engineSetup_ = std::move(*process);
    publisher_.assign(Field::preparingEngine, preparingEngine_, true);
}

void Workbench::engineSetupEnded(const fs::path& folder, const std::string& identity, int status)
{
    engineSetup_.reset();
    if (message_ == preparingMessage)
        publisher_.assign(Field::message, message_, std::string(initialMessage));
    if (status != 0 || !engine::holdsScript(folder)) {
        const std::string reason = std::string(lastLogLine(
            readLogTail(services_.environment.userDataFolder() / "engine-setup.log", 4096)));
        setError(setupFailed +
                 (reason.empty() ? "the set-up script ended with status " + std::to_string(status)
                                 : reason));
    } else {
        engine::writeStamp(folder, identity);
        if (!engineRoot_) { // a folder the user chose meanwhile stays
            setEngineRoot(folder);
            // A stored folder that is only missing for now (an unplugged disk)
            // is the user's choice and is not overwritten.
            if (auto stored = services_.settings.string(ports::engineRootSetting);
                !stored || stored->empty())
                services_.settings.setString(ports::engineRootSetting, folder.string());
            loadHistory();
        }
    }
    publisher_.assign(Field::preparingEngine, preparingEngine_, false);
    if (!engineManager_.engines().empty())
        engineManager_.refresh(); // the reference engine's state has changed
}

} // namespace tonfield
