#include "cli/command_line.hpp"

#include "model/display_text.hpp"
#include "model/job_json.hpp"
#include "workbench/workbench.hpp"

#include "cli/headless_services.hpp"
#include "cli/separate_command.hpp"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>

#include <array>
#include <iostream>
#include <map>
#include <set>

namespace tonfield::cli {
namespace {

constexpr std::array<std::string_view, 4> commands{"separate", "history", "export", "log"};

constexpr std::string_view usage =
    "Usage:\n"
    "  tonfield [FILE]               open the window, with FILE imported\n"
    "  tonfield separate FILE... [--mode vocal|four|six] [--format WAV|FLAC|MP3] [--high]\n"
    "                            [--engine DIR] [--export DIR]\n"
    "  tonfield history [--json]\n"
    "  tonfield export JOB_ID DIR\n"
    "  tonfield log JOB_ID\n";

struct Arguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;
    std::set<std::string> flags;
};

// "--name value" for the valued options, "--name" for the flags; anything else
// starting with "--" is a mistake.
bool parse(int argc, char* argv[], const std::set<std::string>& valued,
           const std::set<std::string>& flags, Arguments& parsed, std::string& problem)
{
    for (int i = 2; i < argc; ++i) {
        const std::string word = argv[i];
        if (!word.starts_with("--")) {
            parsed.positional.push_back(word);
        } else if (flags.contains(word)) {
            parsed.flags.insert(word);
        } else if (valued.contains(word)) {
            if (i + 1 >= argc) {
                problem = word + " needs a value";
                return false;
            }
            parsed.values[word] = argv[++i];
        } else {
            problem = "unknown option " + word;
            return false;
        }
    }
    return true;
}

int usageError(const std::string& problem)
{
    std::cerr << "tonfield: " << problem << "\n" << usage;
    return 2;
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
// else can happen; the command waits for it as the window would.
void waitForEngineSetup(Workbench& workbench)
{
    if (!workbench.preparingEngine())
        return;
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

bool isCommand(std::string_view word)
{
    return std::find(commands.begin(), commands.end(), word) != commands.end();
}

int run(int argc, char* argv[])
{
    const std::string command = argv[1];
    Arguments arguments;
    std::string problem;
    const bool separating = command == "separate";
    if (!parse(argc, argv,
               separating ? std::set<std::string>{"--mode", "--format", "--engine", "--export"}
                          : std::set<std::string>{"--engine"},
               separating ? std::set<std::string>{"--high"} : std::set<std::string>{"--json"},
               arguments, problem))
        return usageError(problem);
    const std::size_t wanted = command == "export" ? 2 : command == "log" ? 1 : 0;
    if (separating ? arguments.positional.empty() : arguments.positional.size() != wanted)
        return usageError(separating
                              ? "separate needs at least one FILE"
                              : command + " takes " + std::to_string(wanted) + " argument(s)");
    if (command != "history" && arguments.flags.contains("--json"))
        return usageError("--json goes with history");

    // Runs with no display: the event loop, timers and child processes need
    // only QtCore.
    QCoreApplication application(argc, argv);
    QCoreApplication::setOrganizationName("Tonfield");
    QCoreApplication::setApplicationName("Tonfield");
    HeadlessServices services;
    if (auto engine = arguments.values.find("--engine"); engine != arguments.values.end())
        services.settings.engineRoot = std::filesystem::path(engine->second);
    const auto workbench = Workbench::create(services.services());
    waitForEngineSetup(*workbench);
    if (workbench->error())
        std::cerr << "tonfield: " << *workbench->error() << '\n';
    if (!workbench->engineRoot()) {
        std::cerr << "tonfield: no engine folder found (none holds separate_job.py); "
                     "give one with --engine DIR\n";
        return 1;
    }

    if (separating)
        return separate(*workbench, services, arguments.positional, arguments.values,
                        arguments.flags.contains("--high"), usageError);
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
