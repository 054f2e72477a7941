#include "workbench/workbench.hpp"

#include "engine/engine_folder.hpp"
#include "model/job_layout.hpp"

#include <fstream>

namespace tonfield {
namespace fs = std::filesystem;

namespace {
constexpr const char* engineRootKey = "engineRoot";
constexpr const char* preparingMessage = "正在准备本地分轨引擎…";
constexpr const char* initialMessage = "导入音乐，探索每一层声音。";

// The last non-empty line of a small log: what a failed set-up says last is
// what it found missing.
std::string lastLine(const fs::path& log)
{
    std::ifstream in(log);
    std::string line, last;
    while (std::getline(in, line)) {
        if (line.find_first_not_of(" \t\r") != std::string::npos)
            last = line;
    }
    return last;
}
} // namespace

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
    if (auto root = locateEngineRoot())
        assign(Field::engineRoot, engineRoot_, std::optional<fs::path>(*root));
    else
        prepareEngineFromTemplate();
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
    if (auto stored = services_.settings.string(engineRootKey); stored && !stored->empty())
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
    auto log = LogHandle::open(data / "engine-setup.log");
    if (!log) {
        assign(Field::error, error_,
               std::optional<std::string>("无法准备本地分轨引擎：" + log.failure()));
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
        assign(Field::error, error_,
               std::optional<std::string>("无法准备本地分轨引擎：" + process.failure()));
        return;
    }
    engineSetup_ = std::move(*process);
    engineSetupLog_ = std::move(*log);
    assign(Field::message, message_, std::string(preparingMessage));
    assign(Field::preparingEngine, preparingEngine_, true);
}

void Workbench::engineSetupEnded(const fs::path& folder, int status)
{
    engineSetup_.reset();
    engineSetupLog_.reset();
    if (message_ == preparingMessage)
        assign(Field::message, message_, std::string(initialMessage));
    if (status != 0 || !engine::holdsScript(folder)) {
        std::string reason = lastLine(services_.environment.userDataFolder() / "engine-setup.log");
        if (reason.empty())
            reason = "the set-up script ended with status " + std::to_string(status);
        assign(Field::error, error_, std::optional<std::string>("无法准备本地分轨引擎：" + reason));
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

// The engine runs in its own folder, so a relative interpreter path given to
// it would resolve against the wrong directory: every engine root is absolute.
fs::path Workbench::absoluteEngineRoot(const fs::path& folder)
{
    if (folder.is_absolute())
        return folder;
    return (services_.environment.currentDirectory() / folder).lexically_normal();
}

int Workbench::subscribe(Observer observer)
{
    observers_.emplace(nextSubscription_, std::move(observer));
    return nextSubscription_++;
}

void Workbench::unsubscribe(int subscription)
{
    observers_.erase(subscription);
}

void Workbench::notify(Field field)
{
    // A copy, so an observer may subscribe or unsubscribe while being told.
    const auto observers = observers_;
    for (const auto& [id, observer] : observers)
        observer(field);
}

void Workbench::setMode(SeparationMode mode)
{
    assign(Field::mode, mode_, mode);
}
void Workbench::setFormat(std::string format)
{
    assign(Field::format, format_, std::move(format));
}
void Workbench::setHighQuality(bool highQuality)
{
    assign(Field::highQuality, highQuality_, highQuality);
}
void Workbench::setShowHistory(bool showHistory)
{
    assign(Field::showHistory, showHistory_, showHistory);
}
void Workbench::setError(std::optional<std::string> error)
{
    assign(Field::error, error_, std::move(error));
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
    assign(Field::engineRoot, engineRoot_, std::optional<fs::path>(root));
    services_.settings.setString(engineRootKey, root.string());
    assign(Field::selectedJob, selectedJob_, std::optional<Job>());
    assign(Field::stems, stems_, std::vector<Stem>());
    loadHistory();
}

} // namespace tonfield
