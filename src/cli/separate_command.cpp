#include "cli/separate_command.hpp"

#include "model/display_text.hpp"
#include "model/job_values.hpp"
#include "model/progress.hpp"

#include "adapters/unix_signals.hpp"

#include <QEventLoop>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace tonfield::cli {
namespace {
namespace fs = std::filesystem;
using Field = Workbench::Field;

// Follows one job on standard error: each new status line, and the engine's
// progress when its output shows one (redrawn in place on a terminal, a line
// per change otherwise).
class StatusPrinter {
public:
    StatusPrinter(Workbench& workbench, std::string name)
        : workbench_(workbench)
        , name_(std::move(name))
        , terminal_(::isatty(STDERR_FILENO) == 1)
    {
        subscription_ = workbench_.subscribe([this](Field field) {
            if (field == Field::message && workbench_.message() != shownMessage_) {
                shownMessage_ = workbench_.message();
                printLine(shownMessage_);
            } else if (field == Field::log) {
                showProgress();
            }
        });
    }
    ~StatusPrinter()
    {
        workbench_.unsubscribe(subscription_);
        endProgressLine();
    }
    StatusPrinter(const StatusPrinter&) = delete;
    StatusPrinter& operator=(const StatusPrinter&) = delete;

private:
    void showProgress()
    {
        const auto percent = progressPercent(workbench_.log());
        if (!percent || std::lround(*percent) == shownPercent_)
            return;
        shownPercent_ = std::lround(*percent);
        const std::string text = name_ + ": " + std::to_string(shownPercent_) + "%";
        if (terminal_) {
            std::cerr << "\r\033[K" << text << std::flush;
            progressOnScreen_ = true;
        } else {
            std::cerr << text << '\n';
        }
    }
    void printLine(const std::string& text)
    {
        endProgressLine();
        std::cerr << name_ << ": " << text << '\n';
    }
    void endProgressLine()
    {
        if (progressOnScreen_)
            std::cerr << '\n';
        progressOnScreen_ = false;
    }

    Workbench& workbench_;
    std::string name_;
    bool terminal_;
    int subscription_ = 0;
    std::string shownMessage_;
    long shownPercent_ = -1;
    bool progressOnScreen_ = false;
};

// Runs the event loop until the running job has ended.
void waitWhileBusy(Workbench& workbench)
{
    QEventLoop loop;
    const int subscription = workbench.subscribe([&](Field field) {
        if (field == Field::busy && !workbench.busy())
            loop.quit();
    });
    if (workbench.busy())
        loop.exec();
    workbench.unsubscribe(subscription);
}

} // namespace

int separate(Workbench& workbench, HeadlessServices& services,
             const std::vector<std::string>& files,
             const std::map<std::string, std::string>& options, bool highQuality,
             const std::function<int(const std::string&)>& usageError)
{
    if (auto mode = options.find("--mode"); mode != options.end()) {
        const auto chosen = separationModeFromRaw(mode->second);
        if (!chosen)
            return usageError("--mode is vocal, four or six");
        workbench.setMode(*chosen);
    }
    if (auto format = options.find("--format"); format != options.end()) {
        if (format->second != "WAV" && format->second != "FLAC" && format->second != "MP3")
            return usageError("--format is WAV, FLAC or MP3");
        workbench.setFormat(format->second);
    }
    workbench.setHighQuality(highQuality);
    if (auto folder = options.find("--export"); folder != options.end())
        services.dialogs.exportFolder = fs::path(folder->second);
    if (!workbench.ready()) {
        std::cerr << "tonfield: the engine folder " << workbench.engineRoot()->string()
                  << " has no runnable .venv/bin/python\n";
        return 1;
    }

    bool interrupted = false;
    adapters::UnixSignals interruption([&] {
        interrupted = true;
        workbench.cancel();
    });

    int status = 0;
    for (const std::string& file : files) {
        if (interrupted)
            break;
        std::error_code ec;
        const fs::path path = fs::absolute(file, ec);
        if (!fs::exists(path, ec)) {
            std::cerr << file << ": No such file or directory\n";
            status = 1;
            continue;
        }
        workbench.setError(std::nullopt);
        workbench.importFile(path);
        if (workbench.error()) { // the window's own text for an unsupported file
            std::cerr << file << ": " << *workbench.error() << '\n';
            status = 1;
            continue;
        }
        {
            StatusPrinter printer(workbench, path.filename().string());
            workbench.start();
            waitWhileBusy(workbench);
        }
        const Job job = workbench.selectedJob().value_or(Job{});
        if (job.status != job_status::done) {
            std::cerr << file << ": " << display::status(job.status) << " — "
                      << workbench.error().value_or(job.message) << '\n';
            status = 1;
            continue;
        }
        for (const Stem& stem : workbench.stems())
            std::cout << stem.url.string() << '\n';
        if (services.dialogs.exportFolder) {
            workbench.exportAll();
            if (workbench.error()) {
                std::cerr << *workbench.error() << '\n';
                status = 1;
            } else if (services.fileBrowser.folder) {
                std::cerr << file << ": exported to " << services.fileBrowser.folder->string()
                          << '\n';
            }
        }
        std::cout << std::flush;
    }
    return interrupted ? 130 : status;
}

} // namespace tonfield::cli
