#pragma once

#include <optional>
#include <string_view>

namespace tonfield {

// The percentage an engine last printed, read from the last non-empty line of
// its log tail, in the forms separation engines print: tqdm's "45%|███",
// "45.0%", "[ 45%]". Absent when that line shows none (or one above 100).
std::optional<double> progressPercent(std::string_view logTail);

// Time left in a run, from how fast the percentage has grown since it was
// first seen. Counting from the first percentage rather than the launch keeps
// the model's loading, which prints none, from reading as slow progress.
class RemainingTime {
public:
    // A percentage read at `now` (seconds); readings that do not grow are kept
    // only as the latest time.
    void observe(double now, double percent);
    // Seconds left at `now`; absent until the percentage has grown once.
    std::optional<double> secondsLeft(double now) const;

private:
    struct Reading {
        double time;
        double percent;
    };
    std::optional<Reading> first_;
    std::optional<Reading> latest_; // the last reading at which the percentage grew
};

} // namespace tonfield
