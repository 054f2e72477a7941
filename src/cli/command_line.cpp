// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/command_line.hpp"

#include "engine/engine_folder.hpp"
#include "model/display_text.hpp"
#include "model/job_json.hpp"
#include "workbench/workbench.hpp"

#include "cli/analyze_command.hpp"
#include "cli/arguments.hpp"
#include "cli/engines_command.hpp"
#include "cli/headless_services.hpp"
#include "cli/separate_command.hpp"
#include "cli/usage.hpp"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>

#include <algorithm>
#include <array>
#include <iostream>
#include <map>
#include <set>

namespace tonfield::cli {
namespace {

int usageError(const std::string& problem)
{
    std::cerr << "tonfield: " << problem << "\n" << usage();
    return 2;
}

// `tonfield help [COMMAND]`.
int help(const std::vector<std::string>& topics)
{
    if (topics.empty()) {
        std::cout << usage() << "\nSee `tonfield help COMMAND` or `man tonfield` for more.\n";
        return 0;
    }
    const auto text = topics.size() == 1 ? commandHelp(topics[0]) : std::nullopt;
    if (!text)
        return usageError(
            "help takes one COMMAND of separate, history, export, log, engines, analyze");
    std::cout << *text;
    return 0;
}

std::string dateOf(double createdSeconds)
{
    if (!display::hasCalendarDate(createdSeconds))
        return "—";
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(createdSeconds * 1000))
        .toString("yyyy-MM-dd HH:mm")
        .toStdString();
}

int history(const Workbench& workbench, bool json)
{
    if (json) {
        std::cout << '[';
        bool first = true;
        for (const Job& job : workbench.jobs()) {
            if (auto record = encodeJob(job)) {
                std::cout << (first ? "" : ",") << *record;
                first = false;
            }
        }
        std::cout << "]\n";
        return 0;
    }
    for (const Job& job : workbench.jobs()) {
        std::cout << job.id << '\t' << dateOf(job.created) << '\t' << job.filename << '\t'
                  << job.mode << '\t' << display::status(job.status) << '\t'
                  << (job.outputs ? job.outputs->size() : 0) << '\n';
    }
    return 0;
}

// A first run of an installed Tonfield makes its engine folder before anything
// else can happen, and the first run after an upgrade refreshes it; the
// command waits for either, so that its jobs run the installed engine.
void waitForEngineSetup(Workbench& workbench)
{
    if (!workbench.preparingEngine())
        return;
    if (!workbench.engineRoot())
        std::cerr << "tonfield: first run, preparing an engine folder from the installed one...\n";
    QEventLoop loop;
    const int subscription = workbench.subscribe([&](Workbench::Field field) {
        if (field == Workbench::Field::preparingEngine && !workbench.preparingEngine())
            loop.quit();
    });
    loop.exec();
    workbench.unsubscribe(subscription);
}

const Job* findJob(const Workbench& workbench, const std::string& id)
{
    for (const Job& job : workbench.jobs())
        if (job.id == id)
            return &job;
    return nullptr;
}

int exportJob(Workbench& workbench, HeadlessServices& services, const Job& job,
              const std::filesystem::path& folder)
{
    workbench.select(job);
    if (workbench.stems().empty()) {
        std::cerr << "tonfield: job " << job.id << " has no stems to export\n";
        return 1;
    }
    services.dialogs.exportFolder = folder;
    workbench.exportAll();
    if (workbench.error()) {
        std::cerr << *workbench.error() << '\n';
        return 1;
    }
    std::cout << services.fileBrowser.folder.value_or(folder).string() << '\n';
    return 0;
}

} // namespace

int run(int argc, char* argv[])
{
    const std::string command = argv[1];
    const bool separating = command == "separate";
    const OptionNames names{
        .valued = separating ? std::set<std::string>{"--mode", "--format", "--engine", "--export"}
                             : std::set<std::string>{"--engine"},
        .flags = separating                                     ? std::set<std::string>{"--high"}
                 : command == "history" || command == "analyze" ? std::set<std::string>{"--json"}
                                                                : std::set<std::string>{},
    };
    Arguments arguments;
    std::string problem;
    if (!parseArguments({argv + 2, argv + argc}, names, arguments, problem))
        return usageError(problem);
    if (arguments.help) {
        std::cout << *commandHelp(command);
        return 0;
    }
    if (command == "help")
        return help(arguments.positional);
    if (command == "engines") {
        const auto& words = arguments.positional;
        if (!words.empty() && (words.size() != 2 || (words[0] != "setup" && words[0] != "use")))
            return usageError("engines takes nothing, setup NAME or use NAME");
    }
    const std::size_t wanted = command == "export" ? 2 : command == "log" ? 1 : 0;
    const bool analyzing = command == "analyze";
    if (command != "engines" && (separating || analyzing ? arguments.positional.empty()
                                                         : arguments.positional.size() != wanted))
        return usageError(separating ? "separate needs at least one FILE"
                          : analyzing
                              ? "analyze needs at least one FILE or JOB_ID"
                              : command + " takes " + std::to_string(wanted) + " argument(s)");
    SeparateOptions separateOptions;
    if (separating && !readSeparateOptions(arguments, separateOptions, problem))
        return usageError(problem);

    // Files alone are analysed without an engine folder: nothing to find,
    // prepare or wait for.
    if (analyzing && std::all_of(arguments.positional.begin(), arguments.positional.end(),
                                 [](const std::string& input) {
                                     std::error_code ec;
                                     return std::filesystem::is_regular_file(input, ec);
                                 }))
        return analyze(nullptr, arguments.positional, arguments.flags.contains("--json"));

    // Runs with no display: the event loop, timers and child processes need
    // only QtCore.
    QCoreApplication application(argc, argv);
    QCoreApplication::setOrganizationName("Tonfield");
    QCoreApplication::setApplicationName("Tonfield");
    HeadlessServices services;
    // A folder the user names is used or refused, never passed over for
    // another candidate.
    if (auto engine = arguments.values.find("--engine"); engine != arguments.values.end()) {
        std::error_code ec;
        const std::filesystem::path folder = std::filesystem::absolute(engine->second, ec);
        if (ec || !engine::holdsScript(folder)) {
            std::cerr << "tonfield: " << engine->second << " is not an engine folder (it holds no "
                      << engine::scriptName << ")\n";
            return 1;
        }
        services.settings.engineRoot = folder;
    }
    const auto workbench = Workbench::create(services.services());
    waitForEngineSetup(*workbench);
    if (workbench->error())
        std::cerr << "tonfield: " << *workbench->error() << '\n';
    // Engines are listed and set up whether or not one is in use yet; files
    // are analysed without one.
    if (command == "engines")
        return engines(*workbench, arguments.positional);
    if (analyzing)
        return analyze(workbench.get(), arguments.positional, arguments.flags.contains("--json"));
    if (!workbench->engineRoot()) {
        std::cerr << "tonfield: no engine folder found (none holds separate_job.py); "
                     "give one with --engine DIR\n";
        return 1;
    }

    if (separating)
        return separate(*workbench, services, arguments.positional, separateOptions);
    if (command == "history")
        return history(*workbench, arguments.flags.contains("--json"));
    const Job* job = findJob(*workbench, arguments.positional[0]);
    if (!job) {
        std::cerr << "tonfield: no job " << arguments.positional[0] << " in "
                  << workbench->engineRoot()->string() << '\n';
        return 1;
    }
    if (command == "export")
        return exportJob(*workbench, services, *job, arguments.positional[1]);
    workbench->select(*job);
    std::cout << workbench->log();
    if (!workbench->log().empty() && workbench->log().back() != '\n')
        std::cout << '\n';
    return 0;
}

} // namespace tonfield::cli
