#include "workbench/workbench.hpp"

#include "engine/engine_folder.hpp"
#include "model/log_tail.hpp"

#include <sstream>

namespace tonfield {
namespace fs = std::filesystem;

namespace {
constexpr const char* preparingMessage = "正在准备本地分轨引擎…";
const std::string setupFailed = "无法准备本地分轨引擎：";

// The last non-empty line of the set-up's log: what a failed set-up says
// last is what it found missing.
std::string lastLine(const fs::path& log)
{
    std::istringstream tail(readLogTail(log, 4096));
    std::string line, last;
    while (std::getline(tail, line)) {
        if (line.find_first_not_of(" \t") != std::string::npos)
            last = line;
    }
    return last;
}
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
    const fs::path data = services_.environment.userDataFolder();
    const fs::path folder = data / "Engine";
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
        .executable = *engineTemplate / "make_engine_folder.sh",
        .arguments = {folder.string()},
        .workingDirectory = data,
        .environment = services_.environment.environment(),
    };
    std::weak_ptr<Workbench> weak = weak_from_this();
    auto process = services_.launcher.launch(setup, log->descriptor(), [weak, folder](int status) {
        if (auto self = weak.lock())
            self->engineSetupEnded(folder, status);
    });
    if (!process) {
        setError(setupFailed + process.failure());
        return;
    }
    engineSetup_ = std::move(*process);
    assign(Field::message, message_, std::string(preparingMessage));
    assign(Field::preparingEngine, preparingEngine_, true);
}

void Workbench::engineSetupEnded(const fs::path& folder, int status)
{
    engineSetup_.reset();
    if (message_ == preparingMessage)
        assign(Field::message, message_, std::string(initialMessage));
    if (status != 0 || !engine::holdsScript(folder)) {
        const std::string reason =
            lastLine(services_.environment.userDataFolder() / "engine-setup.log");
        setError(setupFailed +
                 (reason.empty() ? "the set-up script ended with status " + std::to_string(status)
                                 : reason));
    } else if (!engineRoot_) { // a folder the user chose meanwhile stays
        assign(Field::engineRoot, engineRoot_, std::optional<fs::path>(folder));
        // A stored folder that is only missing for now (an unplugged disk)
        // is the user's choice and is not overwritten.
        if (auto stored = services_.settings.string(engineRootKey); !stored || stored->empty())
            services_.settings.setString(engineRootKey, folder.string());
        loadHistory();
    }
    assign(Field::preparingEngine, preparingEngine_, false);
}

} // namespace tonfield
