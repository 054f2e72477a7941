// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/engines_command.hpp"

#include "model/display_text.hpp"
#include "workbench/workbench.hpp"

#include <QEventLoop>

#include <iostream>

namespace tonfield::cli {
namespace {
using State = EngineEntry::State;

std::string stateText(const EngineEntry& entry)
{
    switch (entry.state) {
    case State::ready:
        return "ready";
    case State::needsPackages:
        return "needs packages: " + EngineManager::installCommand(entry.missingPackages);
    case State::notSetUp:
        return "not set up";
    case State::settingUp:
        return "setting up";
    case State::failed:
        return "failed: " + entry.detail;
    }
    return {};
}

std::string modesText(const EngineEntry& entry)
{
    std::string text;
    for (SeparationMode mode : entry.description.modes)
        text += (text.empty() ? "" : ",") + std::string(rawValue(mode));
    return text;
}

// Waits for the folders' measurement, which runs on a worker.
void waitForMeasurement(Workbench& workbench)
{
    auto measured = [&] {
        for (const EngineEntry& entry : workbench.engineManager().engines())
            if (!entry.jobCount)
                return false;
        return true;
    };
    if (measured())
        return;
    QEventLoop loop;
    const int subscription = workbench.subscribe([&](Workbench::Field field) {
        if (field == Workbench::Field::engines && measured())
            loop.quit();
    });
    loop.exec();
    workbench.unsubscribe(subscription);
}

// One line an engine, tab-separated: a mark for the one in use, its name,
// state, modes, jobs, disk use and folder.
int list(Workbench& workbench)
{
    waitForMeasurement(workbench);
    for (const EngineEntry& entry : workbench.engineManager().engines()) {
        std::cout << (entry.inUse ? "*" : " ") << '\t' << entry.name << '\t' << stateText(entry)
                  << '\t' << modesText(entry) << '\t' << entry.jobCount.value_or(0) << " jobs\t"
                  << display::bytes(entry.diskBytes.value_or(0)) << '\t' << entry.folder.string()
                  << '\n';
    }
    return 0;
}

// Runs the set-up as the window's "安装" does, printing its lines as they come.
int setUp(Workbench& workbench, const std::string& name)
{
    EngineManager& manager = workbench.engineManager();
    manager.setUp(name);
    const EngineEntry* entry = manager.find(name);
    if (workbench.error() || !entry || entry->state != State::settingUp) {
        std::cerr << "tonfield: " << workbench.error().value_or("no engine " + name) << '\n';
        return 1;
    }
    QEventLoop loop;
    std::string shown;
    const int subscription = workbench.subscribe([&](Workbench::Field field) {
        if (field != Workbench::Field::engines)
            return;
        const EngineEntry* now = manager.find(name);
        if (now && now->state == State::settingUp && !now->detail.empty() && now->detail != shown)
            std::cerr << (shown = now->detail) << '\n';
        if (!now || now->state != State::settingUp)
            loop.quit();
    });
    loop.exec();
    workbench.unsubscribe(subscription);
    entry = manager.find(name);
    if (!entry || entry->state != State::ready) {
        std::cerr << "tonfield: " << name << ": " << (entry ? stateText(*entry) : "gone") << '\n';
        return 1;
    }
    std::cout << entry->folder.string() << '\n';
    return 0;
}

int use(Workbench& workbench, const std::string& name)
{
    workbench.engineManager().use(name);
    if (workbench.error()) {
        std::cerr << "tonfield: " << *workbench.error() << '\n';
        return 1;
    }
    std::cout << workbench.engineRoot()->string() << '\n';
    return 0;
}

} // namespace

int engines(Workbench& workbench, const std::vector<std::string>& arguments)
{
    workbench.setError(std::nullopt);
    workbench.engineManager().refresh();
    if (arguments.empty())
        return list(workbench);
    if (arguments[0] == "setup")
        return setUp(workbench, arguments[1]);
    return use(workbench, arguments[1]);
}

} // namespace tonfield::cli
