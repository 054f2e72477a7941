// SPDX-License-Identifier: GPL-3.0-or-later

#include "workbench/workbench.hpp"

#include "engine/engine_folder.hpp"
#include "model/job_layout.hpp"

#include <algorithm>

namespace tonfield {
namespace fs = std::filesystem;

Workbench::Workbench(ports::Services services)
    : services_(services)
{
}

std::shared_ptr<Workbench> Workbench::create(ports::Services services)
{
    std::shared_ptr<Workbench> workbench(new Workbench(services));
    workbench->startUp();
    return workbench;
}

void Workbench::startUp()
{
    if (auto root = locateEngineRoot()) {
        setEngineRoot(*root);
        refreshEngineFromTemplate();
    } else {
        prepareEngineFromTemplate();
    }
    engineManager_.refreshFromTemplates();
    loadHistory();

    std::weak_ptr<Workbench> weak = weak_from_this();
    timer_ = services_.timers.startRepeating(pollIntervalSeconds, [weak] {
        if (auto self = weak.lock())
            self->tick();
    });
}

// Candidates in order: the stored setting, the folder beside the application,
// the folder fixed at build time, the working directory. Only the script is
// tested here; `ready` tests the interpreter.
std::optional<fs::path> Workbench::locateEngineRoot()
{
    std::vector<fs::path> candidates;
    // An empty stored value would otherwise resolve against the working directory.
    if (auto stored = services_.settings.string(ports::engineRootSetting);
        stored && !stored->empty())
        candidates.emplace_back(*stored);
    candidates.push_back(services_.environment.applicationFolder() / "Engine");
    if (auto builtIn = services_.environment.builtInEngineRoot())
        candidates.push_back(*builtIn);
    candidates.push_back(services_.environment.currentDirectory());

    for (const fs::path& candidate : candidates) {
        fs::path root = absoluteEngineRoot(candidate);
        if (engine::holdsScript(root))
            return root;
    }
    return std::nullopt;
}

// The engine runs in its own folder, so a relative interpreter path given to
// it would resolve against the wrong directory: every engine root is absolute.
fs::path Workbench::absoluteEngineRoot(const fs::path& folder)
{
    if (folder.is_absolute())
        return folder;
    return (services_.environment.currentDirectory() / folder).lexically_normal();
}

void Workbench::setMode(SeparationMode mode)
{
    publisher_.assign(Field::mode, mode_, mode);
}
void Workbench::setFormat(std::string format)
{
    publisher_.assign(Field::format, format_, std::move(format));
}
void Workbench::setHighQuality(bool highQuality)
{
    publisher_.assign(Field::highQuality, highQuality_, highQuality);
}
void Workbench::setShowHistory(bool showHistory)
{
    publisher_.assign(Field::showHistory, showHistory_, showHistory);
    if (showHistory)
        storedJobs_.measureDiskUsage();
}
void Workbench::setError(std::optional<std::string> error)
{
    publisher_.assign(Field::error, error_, std::move(error));
}

bool Workbench::ready() const
{
    return engineRoot_ && engine::isReady(*engineRoot_);
}

std::optional<fs::path> Workbench::activeFolder() const
{
    if (!selectedJob_ || !engineRoot_)
        return std::nullopt;
    return layout::outputFolder(*engineRoot_, selectedJob_->id);
}

void Workbench::chooseEngine()
{
    if (busy_)
        return;
    ports::FolderRequest request;
    request.message = "选择包含 separate_job.py 和 .venv 的项目文件夹";
    auto folder = services_.dialogs.chooseFolder(request);
    if (!folder)
        return;
    const fs::path root = absoluteEngineRoot(*folder);
    if (!engine::holdsScript(root)) {
        setError("所选目录不包含 separate_job.py。");
        return;
    }
    adoptEngineFolder(root);
}

void Workbench::adoptEngineFolder(const fs::path& root)
{
    setEngineRoot(root);
    services_.settings.setString(ports::engineRootSetting, root.string());
    publisher_.assign(Field::selectedJob, selectedJob_, std::optional<Job>());
    publisher_.assign(Field::stems, stems_, std::vector<Stem>());
    loadHistory();
}

// The engine's description is read here, once per change, not at every
// redraw. A mode the new engine cannot do gives way to the first it can, so
// the window never shows a chosen mode that is disabled.
void Workbench::setEngineRoot(const fs::path& root)
{
    engineDescription_ = engine::readDescription(root);
    publisher_.assign(Field::engineRoot, engineRoot_, std::optional<fs::path>(root));
    if (!engineSupports(mode_) && engineDescription_)
        setMode(engineDescription_->modes.front());
    engineManager_.engineRootChanged();
}

bool Workbench::engineSupports(SeparationMode mode) const
{
    if (!engineDescription_)
        return true;
    const auto& modes = engineDescription_->modes;
    return std::find(modes.begin(), modes.end(), mode) != modes.end();
}

} // namespace tonfield
