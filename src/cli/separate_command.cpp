// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/separate_command.hpp"

#include "model/display_text.hpp"
#include "model/failure_text.hpp"
#include "model/file_name.hpp"
#include "model/job_layout.hpp"
#include "model/job_values.hpp"
#include "model/log_tail.hpp"
#include "model/output_format.hpp"
#include "model/progress.hpp"

#include "adapters/unix_signals.hpp"

#include <QEventLoop>

#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>
#include <set>
#include <unistd.h>

namespace tonfield::cli {
namespace {
namespace fs = std::filesystem;
using Field = Workbench::Field;

// Follows the running job on standard error: each new status line, and the
// engine's progress when its output shows one (redrawn in place on a
// terminal, a line per change otherwise).
class StatusPrinter {
public:
    explicit StatusPrinter(Workbench& workbench)
        : workbench_(workbench)
        , terminal_(::isatty(STDERR_FILENO) == 1)
    {
        subscription_ = workbench_.subscribe([this](Field field) {
            if (field == Field::selectedJob && workbench_.selectedJob() &&
                workbench_.selectedJob()->filename != name_) {
                name_ = workbench_.selectedJob()->filename;
                shownPercent_ = -1;
            } else if (field == Field::message && workbench_.message() != shownMessage_) {
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

// Runs the event loop until nothing runs and nothing waits. The queue may
// run dry without a job ending: the jobs left in it were cancelled, deleted
// or taken by another program, or the queue was stopped while idle.
void waitForQueue(Workbench& workbench)
{
    auto done = [&] { return !workbench.busy() && workbench.jobQueue().queue().empty(); };
    QEventLoop loop;
    const int subscription = workbench.subscribe([&](Field field) {
        // Judged once the step that changed the field is over: the queue is
        // empty for a moment before its last job launches.
        if (field == Field::busy || field == Field::queue)
            QMetaObject::invokeMethod(
                &loop,
                [&] {
                    if (done())
                        loop.quit();
                },
                Qt::QueuedConnection);
    });
    if (!done())
        loop.exec();
    workbench.unsubscribe(subscription);
}

// Prints an ended job's stems, or why it has none, and exports them when
// asked; false when the job did not end done or its export failed.
bool report(Workbench& workbench, HeadlessServices& services, const Job& job)
{
    if (job.status != job_status::done) {
        std::cerr << job.filename << ": " << display::status(job.status) << " — " << job.message
                  << '\n';
        // The window shows the log's tail; here, the engine's last word is its reason.
        const std::string log = readLogTail(layout::logFile(*workbench.engineRoot(), job.id),
                                            Workbench::logWindowBytes);
        if (const std::string_view reason = lastLogLine(log); !reason.empty())
            std::cerr << job.filename << ": " << reason << '\n';
        return false;
    }
    for (const Stem& stem : workbench.stems())
        std::cout << stem.url.string() << '\n';
    std::cout << std::flush;
    if (!services.dialogs.exportFolder)
        return true;
    workbench.setError(std::nullopt);
    services.fileBrowser.folder.reset();
    workbench.exportAll();
    if (workbench.error()) {
        std::cerr << *workbench.error() << '\n';
        workbench.setError(std::nullopt);
        return false;
    }
    if (services.fileBrowser.folder)
        std::cerr << job.filename << ": exported to " << services.fileBrowser.folder->string()
                  << '\n';
    return true;
}

} // namespace

bool readSeparateOptions(const Arguments& arguments, SeparateOptions& options, std::string& problem)
{
    if (auto mode = arguments.values.find("--mode"); mode != arguments.values.end()) {
        options.mode = separationModeFromRaw(mode->second);
        if (!options.mode) {
            problem = "--mode is vocal, four or six";
            return false;
        }
    }
    if (auto format = arguments.values.find("--format"); format != arguments.values.end()) {
        if (!outputFormatFromRaw(format->second)) {
            problem = "--format is WAV, FLAC or MP3";
            return false;
        }
        options.format = format->second;
    }
    options.highQuality = arguments.flags.contains("--high");
    if (auto folder = arguments.values.find("--export"); folder != arguments.values.end())
        options.exportFolder = fs::path(folder->second);
    return true;
}

int separate(Workbench& workbench, HeadlessServices& services,
             const std::vector<std::string>& files, const SeparateOptions& options)
{
    if (options.mode)
        workbench.setMode(*options.mode);
    if (options.format)
        workbench.setFormat(*options.format);
    workbench.setHighQuality(options.highQuality);
    if (options.exportFolder)
        services.dialogs.exportFolder = *options.exportFolder;
    if (!workbench.ready()) {
        std::cerr << "tonfield: the engine folder " << workbench.engineRoot()->string()
                  << " has no runnable .venv/bin/python\n";
        return 1;
    }

    bool interrupted = false;
    adapters::UnixSignals interruption([&] {
        interrupted = true;
        workbench.jobQueue().stopQueue();
    });

    int status = 0;
    std::vector<fs::path> queued;
    for (const std::string& file : files) {
        std::error_code ec;
        const fs::path path = fs::absolute(file, ec);
        if (!fs::exists(path, ec)) {
            std::cerr << failureText(
                             file,
                             ec ? ec : std::make_error_code(std::errc::no_such_file_or_directory))
                      << '\n';
            status = 1;
        } else if (!isAcceptedAudioFile(path)) {
            std::cerr << file << ": " << unsupportedAudioText << '\n';
            status = 1;
        } else {
            queued.push_back(path);
        }
    }
    if (queued.empty())
        return status;

    // Each job is reported the moment it ends, while it is still the selected
    // one with its stems listed, before the queue moves on.
    std::set<std::string> reported;
    const int subscription = workbench.subscribe([&](Field field) {
        const auto& job = workbench.selectedJob();
        // A cancelled job is reported once its engine has ended, with the
        // message that ending gives it, not the one it had while running.
        if (field != Field::selectedJob || !job || job->status == job_status::running ||
            job->status == job_status::queued ||
            (job->status == job_status::cancelled && workbench.busy()) ||
            !reported.insert(job->id).second)
            return;
        if (!report(workbench, services, *job))
            status = 1;
    });
    std::map<std::string, std::string> ours; // job id -> file, of the jobs queued here
    {
        StatusPrinter printer(workbench);
        workbench.setError(std::nullopt);
        // Names as the history first listed them: another program may delete
        // a job before the next reading.
        std::map<std::string, std::string> names;
        const int listing = workbench.subscribe([&](Field field) {
            if (field == Field::jobs)
                for (const Job& job : workbench.jobs())
                    names.emplace(job.id, job.filename);
        });
        workbench.jobQueue().enqueue(queued);
        workbench.unsubscribe(listing);
        std::vector<std::string> taken = workbench.jobQueue().queue();
        if (workbench.busy() && workbench.selectedJob())
            taken.push_back(workbench.selectedJob()->id);
        for (const std::string& id : taken)
            ours.emplace(id, names.contains(id) ? names[id] : "job " + id);
        if (workbench.error()) { // a file that could not be copied into its job
            std::cerr << *workbench.error() << '\n';
            status = 1;
        }
        waitForQueue(workbench);
    }
    workbench.unsubscribe(subscription);
    // A job the window (or another command) ran, cancelled or deleted meanwhile
    // ended without this command: said, and not counted as done.
    for (const auto& [id, filename] : ours) {
        if (interrupted || reported.contains(id))
            continue;
        std::cerr << filename << ": 已由其他程序处理、取消或删除\n";
        status = 1;
    }
    return interrupted ? 130 : status;
}

} // namespace tonfield::cli
