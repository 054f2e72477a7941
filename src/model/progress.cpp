// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/progress.hpp"

#include "model/log_tail.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace tonfield {

std::optional<double> progressPercent(std::string_view logTail)
{
    const std::string_view line = lastLogLine(logTail);
    // The last percentage on the line: a bar may follow it, a label precede it.
    std::optional<double> found;
    for (std::size_t sign = line.find('%'); sign != std::string_view::npos;
         sign = line.find('%', sign + 1)) {
        std::size_t start = sign;
        while (start > 0 && (std::isdigit(static_cast<unsigned char>(line[start - 1])) ||
                             line[start - 1] == '.'))
            --start;
        // "-20%" is a change, not how far the work has come.
        if (start == sign || (start > 0 && line[start - 1] == '-'))
            continue;
        double value = 0;
        const auto [end, error] = std::from_chars(line.data() + start, line.data() + sign, value);
        if (error == std::errc() && end == line.data() + sign && value >= 0 && value <= 100)
            found = value;
    }
    return found;
}

bool reportsModelDownload(std::string_view logTail)
{
    return lastLogLine(logTail).starts_with("下载模型");
}

void RemainingTime::observe(double now, double percent)
{
    if (count_ > 0 && percent < last_)
        *this = RemainingTime();
    if (count_ > 0 && percent == last_)
        return;
    if (count_ == 0)
        origin_ = now;
    const double t = now - origin_;
    ++count_;
    last_ = percent;
    sumT_ += t;
    sumP_ += percent;
    sumTT_ += t * t;
    sumTP_ += t * percent;
}

std::optional<double> RemainingTime::secondsLeft(double now) const
{
    if (count_ < 2)
        return std::nullopt;
    const double n = count_;
    const double meanT = sumT_ / n, meanP = sumP_ / n;
    const double spread = sumTT_ - n * meanT * meanT;
    const double rate = (sumTP_ - n * meanT * meanP) / spread; // percentage points a second
    if (!(spread > 0) || !(rate > 0))
        return std::nullopt;
    const double finish = origin_ + meanT + (100 - meanP) / rate;
    const double left = finish - now;
    return left > 0 ? left : 0;
}

std::optional<double> queueSecondsLeft(const QueueRun& run, std::size_t waiting,
                                       double runningElapsed, std::optional<double> runningLeft)
{
    std::optional<double> perSong;
    if (run.completed > 0)
        perSong = run.completedSeconds / static_cast<double>(run.completed);
    else if (runningLeft)
        perSong = runningElapsed + *runningLeft;
    if (!perSong)
        return std::nullopt;
    // Without a percentage yet, the running song is taken to need an average
    // song's time, less what it has already had.
    const double current = runningLeft ? *runningLeft : std::max(*perSong - runningElapsed, 0.0);
    return current + static_cast<double>(waiting) * *perSong;
}

} // namespace tonfield
