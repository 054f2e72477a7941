// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace tonfield {

// The percentage an engine last printed, read from the last non-empty line of
// its log tail, in the forms separation engines print: tqdm's "45%|███",
// "45.0%", "[ 45%]". Absent when that line shows none (or one above 100).
std::optional<double> progressPercent(std::string_view logTail);

// Whether the last non-empty line of the log tail reports the model's
// download ("下载模型 45%（148 / 335 MB）"): a phase of its own, whose
// percentage is shown but says nothing of how fast the separation will go.
bool reportsModelDownload(std::string_view logTail);

// Time left in a run, from the line through every moment the percentage
// grew: the finish is where that line reaches 100. Fitting all the readings,
// rather than the first and the last, evens out when each happened to be
// read (a poll lags a print by up to its interval). Counting from the first
// percentage rather than the launch keeps the model's loading, which prints
// none, from reading as slow progress.
class RemainingTime {
public:
    // A percentage read at `now` (seconds); a reading that does not grow adds
    // nothing, one that falls starts over (an engine's second pass).
    void observe(double now, double percent);
    // Seconds left at `now`; absent until the percentage has grown once.
    std::optional<double> secondsLeft(double now) const;

private:
    int count_ = 0;
    double last_ = 0; // the latest percentage
    // Sums over the readings, times taken from the first one's.
    double origin_ = 0, sumT_ = 0, sumP_ = 0, sumTT_ = 0, sumTP_ = 0;
};

// A queue's way through its songs since it last started from empty.
struct QueueRun {
    std::size_t taken = 0;       // songs started, the running one included
    std::size_t completed = 0;   // songs that ended "done"
    double completedSeconds = 0; // what those took together

    bool operator==(const QueueRun&) const = default;
};

// Seconds the whole queue still needs: what the running song has left, and
// for each waiting song what a completed one took on average (the running
// song's own projected length while none has completed, since the songs of
// one queue are usually alike). Absent while neither is known.
std::optional<double> queueSecondsLeft(const QueueRun& run, std::size_t waiting,
                                       double runningElapsed, std::optional<double> runningLeft);

} // namespace tonfield
