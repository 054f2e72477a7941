// SPDX-License-Identifier: GPL-3.0-or-later

#include "workbench/engine_manager/engine_manager.hpp"

#include "engine/engine_folder.hpp"
#include "engine/template_stamp.hpp"
#include "model/job_library.hpp"
#include "model/log_tail.hpp"
#include "workbench/workbench.hpp"

#include <algorithm>

namespace tonfield {
namespace fs = std::filesystem;

namespace {
using State = EngineEntry::State;

// A set-up's log is short; its last line is all that is shown.
constexpr std::size_t setUpLogWindow = 4096;

std::size_t countJobs(const fs::path& folder)
{
    std::size_t count = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder / "data/jobs", ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        std::error_code kind;
        if (it->is_directory(kind) && !it->is_symlink(kind))
            ++count;
    }
    return count;
}
} // namespace

EngineManager::EngineManager(Workbench& workbench, ports::Services services,
                             const FieldPublisher& publisher)
    : workbench_(workbench)
    , services_(services)
    , publisher_(publisher)
{
}

const EngineEntry* EngineManager::find(const std::string& name) const
{
    const auto it = std::find_if(engines_.begin(), engines_.end(),
                                 [&](const EngineEntry& entry) { return entry.name == name; });
    return it == engines_.end() ? nullptr : &*it;
}

const EngineEntry* EngineManager::inUse() const
{
    const auto it = std::find_if(engines_.begin(), engines_.end(),
                                 [](const EngineEntry& entry) { return entry.inUse; });
    return it == engines_.end() ? nullptr : &*it;
}

fs::path EngineManager::folderOf(const std::string& name) const
{
    const fs::path data = services_.environment.userDataFolder();
    // The first run's folder: the reference engine's jobs are already there.
    return name == "reference" ? data / "Engine" : data / "Engines" / name;
}

fs::path EngineManager::setUpLog(const std::string& name) const
{
    return services_.environment.userDataFolder() / ("engine-setup-" + name + ".log");
}

EngineEntry EngineManager::entryFor(const std::string& name, const fs::path& templateFolder)
{
    EngineEntry entry;
    entry.name = name;
    entry.folder = folderOf(name);
    if (auto description = engine::readDescription(templateFolder)) {
        entry.description = std::move(*description);
    } else { // a template that does not describe itself is still offered, under its name
        entry.description.displayName = name;
        entry.description.modes.assign(allSeparationModes.begin(), allSeparationModes.end());
    }
    for (const std::string& package : entry.description.packages) {
        if (!services_.environment.packageInstalled(package))
            entry.missingPackages.push_back(package);
    }
    std::error_code ec;
    const auto& root = workbench_.engineRoot();
    entry.inUse = root && fs::equivalent(*root, entry.folder, ec);
    const bool firstRunSetUp = name == "reference" && workbench_.preparingEngine();
    if (auto running = setUps_.find(name); running != setUps_.end() || firstRunSetUp) {
        entry.state = State::settingUp;
        entry.detail = std::string(lastLogLine(readLogTail(
            running != setUps_.end() ? running->second.log
                                     : services_.environment.userDataFolder() / "engine-setup.log",
            setUpLogWindow)));
    } else if (!entry.missingPackages.empty()) {
        entry.state = State::needsPackages;
    } else if (auto failure = failures_.find(name); failure != failures_.end()) {
        entry.state = State::failed;
        entry.detail = failure->second;
    } else if (engine::isReady(entry.folder)) {
        entry.state = State::ready;
    }
    applySize(entry);
    return entry;
}

void EngineManager::applySize(EngineEntry& entry) const
{
    if (auto size = sizes_.find(entry.name); size != sizes_.end()) {
        entry.diskBytes = size->second.first;
        entry.jobCount = size->second.second;
    }
}

void EngineManager::publish(std::vector<EngineEntry> engines)
{
    publisher_.assignIfChanged(WorkbenchField::engines, engines_, std::move(engines));
}

void EngineManager::refresh()
{
    std::vector<EngineEntry> engines;
    std::map<std::string, fs::path> folders;
    for (const auto& [name, templateFolder] : services_.environment.engineTemplates()) {
        engines.push_back(entryFor(name, templateFolder));
        folders[name] = engines.back().folder;
    }
    // The reference engine first, as the one every installation has.
    std::stable_partition(engines.begin(), engines.end(),
                          [](const EngineEntry& entry) { return entry.name == "reference"; });
    publish(std::move(engines));

    std::weak_ptr<EngineManager*> weak = self_;
    services_.background.run([weak, folders]() -> std::function<void()> {
        std::map<std::string, std::pair<std::uint64_t, std::size_t>> sizes;
        for (const auto& [name, folder] : folders)
            sizes[name] = {folderBytes(folder), countJobs(folder)};
        return [weak, sizes = std::move(sizes)]() mutable {
            if (auto self = weak.lock())
                (*self)->measured(std::move(sizes));
        };
    });
}

void EngineManager::measured(std::map<std::string, std::pair<std::uint64_t, std::size_t>> sizes)
{
    sizes_ = std::move(sizes);
    std::vector<EngineEntry> engines = engines_;
    for (EngineEntry& entry : engines)
        applySize(entry);
    publish(std::move(engines));
}

void EngineManager::setUp(const std::string& name)
{
    const auto templates = services_.environment.engineTemplates();
    const auto found = templates.find(name);
    if (found == templates.end()) {
        workbench_.setError("没有名为 " + name + " 的分轨引擎。");
        return;
    }
    const EngineEntry entry = entryFor(name, found->second);
    if (entry.state == State::settingUp)
        return;
    if (entry.state == State::needsPackages) {
        workbench_.setError("请先安装 " + entry.description.displayName + " 需要的软件包：" +
                            installCommand(entry.missingPackages));
        return;
    }
    if (launchSetUp(name, found->second, entry.description.displayName, false))
        refresh();
}

bool EngineManager::launchSetUp(const std::string& name, const fs::path& templateFolder,
                                const std::string& displayName, bool upgrade)
{
    const fs::path data = services_.environment.userDataFolder();
    const fs::path folder = folderOf(name);
    std::error_code ec;
    fs::create_directories(folder.parent_path(), ec);
    auto log = LogHandle::open(setUpLog(name));
    const std::string failed = "无法安装 " + displayName + "：";
    if (!log) {
        workbench_.setError(failed + log.failure());
        return false;
    }
    const engine::Invocation invocation{
        .executable = templateFolder / "make_engine_folder.sh",
        .arguments = {folder.string()},
        .workingDirectory = data,
        .environment = services_.environment.environment(),
    };
    std::weak_ptr<EngineManager*> weak = self_;
    auto process =
        services_.launcher.launch(invocation, log->descriptor(), [weak, name](int status) {
            if (auto self = weak.lock())
                (*self)->setUpEnded(name, status);
        });
    if (!process) {
        workbench_.setError(failed + process.failure());
        return false;
    }
    failures_.erase(name);
    setUps_[name] = SetUp{std::move(*process), setUpLog(name),
                          engine::templateIdentity(templateFolder), upgrade};
    return true;
}

void EngineManager::refreshFromTemplates()
{
    for (const auto& [name, templateFolder] : services_.environment.engineTemplates()) {
        // The reference engine's folder is the first run's, which the
        // Workbench refreshes itself.
        const fs::path folder = folderOf(name);
        if (name == "reference" || setUps_.contains(name) || !engine::holdsScript(folder))
            continue;
        const std::string identity = engine::templateIdentity(templateFolder);
        if (!identity.empty() && engine::readStamp(folder) != identity) {
            const auto description = engine::readDescription(templateFolder);
            launchSetUp(name, templateFolder, description ? description->displayName : name, true);
        }
    }
}

void EngineManager::cancelSetUp(const std::string& name)
{
    if (auto running = setUps_.find(name); running != setUps_.end())
        running->second.process->terminate();
}

void EngineManager::setUpEnded(const std::string& name, int status)
{
    const auto running = setUps_.find(name);
    if (running == setUps_.end())
        return;
    const SetUp ended = std::move(running->second);
    setUps_.erase(running);
    if (status != 0 || !engine::isReady(folderOf(name))) {
        const std::string said(lastLogLine(readLogTail(ended.log, setUpLogWindow)));
        failures_[name] = status == 143 ? std::string("安装已取消")
                          : said.empty() ? "安装脚本以状态 " + std::to_string(status) + " 结束"
                                         : said;
        // A refresh nobody asked for speaks only when it fails.
        if (ended.upgrade)
            workbench_.setError("无法更新分轨引擎 " + name + "：" + failures_[name]);
    } else {
        engine::writeStamp(folderOf(name), ended.templateIdentity);
    }
    refresh();
}

void EngineManager::use(const std::string& name)
{
    if (workbench_.busy())
        return;
    const EngineEntry* entry = find(name);
    if (!entry || entry->state != State::ready) {
        workbench_.setError("分轨引擎 " + (entry ? entry->description.displayName : name) +
                            " 尚未就绪，请先安装。");
        return;
    }
    // A copy: adopting the folder republishes the entries `entry` points into.
    const fs::path folder = entry->folder;
    workbench_.adoptEngineFolder(folder);
}

void EngineManager::remove(const std::string& name)
{
    const EngineEntry* entry = find(name);
    if (!entry || entry->state == State::settingUp)
        return;
    if (entry->inUse) {
        workbench_.setError("正在使用的分轨引擎不能移除，请先换用另一个。");
        return;
    }
    std::error_code ec;
    if (!fs::exists(entry->folder, ec))
        return;
    if (auto moved = services_.trash.moveToTrash(entry->folder, "Tonfield " + name); !moved) {
        workbench_.setError("无法移除 " + entry->description.displayName + "：" + moved.failure());
        return;
    }
    failures_.erase(name);
    sizes_.erase(name);
    refresh();
}

void EngineManager::poll()
{
    if (setUps_.empty())
        return;
    std::vector<EngineEntry> engines = engines_;
    for (EngineEntry& entry : engines) {
        if (auto running = setUps_.find(entry.name); running != setUps_.end())
            entry.detail = lastLogLine(readLogTail(running->second.log, setUpLogWindow));
    }
    publish(std::move(engines));
}

void EngineManager::engineRootChanged()
{
    if (engines_.empty())
        return; // nothing shown yet: the first refresh will tell
    std::vector<EngineEntry> engines = engines_;
    const auto& root = workbench_.engineRoot();
    for (EngineEntry& entry : engines) {
        std::error_code ec;
        entry.inUse = root && fs::equivalent(*root, entry.folder, ec);
    }
    publish(std::move(engines));
}

std::string EngineManager::installCommand(const std::vector<std::string>& packages)
{
    std::string command = "sudo apt install";
    for (const std::string& package : packages)
        command += " " + package;
    return command;
}

} // namespace tonfield
