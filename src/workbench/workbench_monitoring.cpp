// SPDX-License-Identifier: GPL-3.0-or-later

#include "workbench/workbench.hpp"

#include "model/job_layout.hpp"
#include "model/log_tail.hpp"

#include <algorithm>
#include <chrono>

namespace tonfield {

// Runs at every firing of the poll timer, whether or not a job runs.
void Workbench::tick()
{
    if (busy_ && selectedJob_) {
        publisher_.assign(Field::elapsed, elapsed_,
                          services_.clock.nowSeconds() - selectedJob_->created);
        readLog();
        if (log_.find("模型就绪") != std::string::npos ||
            log_.find("Starting separation process") != std::string::npos)
            publisher_.assign(Field::message, message_, std::string("模型已就绪，正在分离音轨…"));
        else if (reportsModelDownload(log_))
            publisher_.assign(Field::message, message_, std::string(downloadMessage));
        followProgress();
    }
    followPlayback();
    mixDesk_.poll();
    songTimeline_.poll();
    engineManager_.poll();
}

void Workbench::readLog()
{
    if (!engineRoot_ || !selectedJob_)
        return;
    publisher_.assign(Field::log, log_,
                      readLogTail(layout::logFile(*engineRoot_, selectedJob_->id), logWindowBytes));
}

// The percentage the engine last printed, and from how fast it grows, the
// time left: of the separation alone, not of a model's download before it.
void Workbench::followProgress()
{
    const double now = services_.clock.nowSeconds();
    const std::optional<double> percent = progressPercent(log_);
    const bool separating = percent && !reportsModelDownload(log_);
    if (separating) {
        // A new percentage was printed when the log was last written, up to a
        // poll before it is read; that moment, kept within the time since the
        // last poll, times the reading far better than the poll does.
        double printedAt = now;
        if (percent != progress_ && engineRoot_) {
            std::error_code ec;
            const auto written = std::filesystem::last_write_time(
                layout::logFile(*engineRoot_, selectedJob_->id), ec);
            if (!ec)
                printedAt =
                    std::clamp(std::chrono::duration<double>(
                                   std::chrono::file_clock::to_sys(written).time_since_epoch())
                                   .count(),
                               std::min(previousPoll_, now), now);
        }
        remaining_.observe(printedAt, *percent);
    }
    previousPoll_ = now;
    publisher_.assignIfChanged(Field::progress, progress_, percent);
    publisher_.assignIfChanged(Field::timeLeft, timeLeft_,
                               separating ? remaining_.secondsLeft(now) : std::optional<double>());
}

} // namespace tonfield
