// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "workbench/field_publisher.hpp"

#include "analysis/bar_grid.hpp"
#include "analysis/corrections.hpp"
#include "analysis/musical_analysis.hpp"
#include "ports/services.hpp"

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tonfield {

class Workbench;

// How far the shown job's analysis has got.
struct AnalysisStatus {
    enum class Stage { none, analysing, ready, failed };
    Stage stage = Stage::none;
    double fraction = 0; // while analysing
    std::string failure; // once failed

    bool operator==(const AnalysisStatus&) const = default;
};

// The practice timeline of the shown job: its beats, bars, key and chords,
// found on a worker (or read from the job's analysis.json), corrected by the
// user where they are wrong, and the loops that follow its bars.
//
// Threading: main thread only. The analysis runs on a worker; it shares only
// two atomics with the timeline (how far, and a request to stop), and its
// result comes back to the main thread through the background service.
// Another job shown stops it: a user looking through the history should not
// leave a trail of decoders behind.
class SongTimeline {
public:
    SongTimeline(Workbench& workbench, ports::Services services, const FieldPublisher& publisher);
    // Stops an analysis still running.
    ~SongTimeline();
    SongTimeline(const SongTimeline&) = delete;
    SongTimeline& operator=(const SongTimeline&) = delete;

    const AnalysisStatus& status() const { return status_; }
    // The analysis as corrected, once ready.
    const std::optional<analysis::MusicalAnalysis>& analysis() const { return analysis_; }
    const analysis::Corrections& corrections() const { return corrections_; }

    // Corrections, kept in the job's analysis.json.
    void halveTempo();
    void doubleTempo();
    // Bar 1 one beat later (round the bar, back to where it was).
    void moveFirstBar();
    // The key by hand; none goes back to the key found.
    void setKey(std::optional<analysis::Key> key);

    // The loop, on the mix desk: a drag between two points snapped to the
    // grid, the bar being played, the loop moved by whole bars.
    void selectLoop(double from, double to, analysis::Snap snap);
    void loopCurrentBar();
    void moveLoop(int bars);

    // The window shows the timeline: from now on the shown job is analysed,
    // starting with the one shown now. A headless Workbench never asks: no
    // one would see the analysis, and its worker would outlive the command.
    void follow();
    // At exit: an analysis still running stops at its next step, so that the
    // worker ends before the services it uses.
    void cancelAnalysis();

    // What the Workbench tells the timeline: the shown job's stems were
    // listed anew (a finished job with stems is analysed), another job is
    // shown or none, and the tick.
    void takeJob();
    void leaveJob();
    void poll();

private:
    void correct(analysis::Corrections corrections);
    void analysisChanged();
    void analysisEnded(const std::string& jobId, const Result<analysis::MusicalAnalysis>& found,
                       const analysis::Corrections& corrections);
    void stopRunning();

    Workbench& workbench_;
    ports::Services services_;
    const FieldPublisher& publisher_;
    std::shared_ptr<SongTimeline*> self_ = std::make_shared<SongTimeline*>(this);

    // Observable (all under one field).
    AnalysisStatus status_;
    std::optional<analysis::MusicalAnalysis> analysis_;
    analysis::Corrections corrections_;

    bool following_ = false;
    // The job analysed, the stems it was analysed with, and the analysis as found.
    std::string jobId_;
    std::vector<std::filesystem::path> stems_;
    std::optional<analysis::MusicalAnalysis> found_;
    // Shared with the worker: how far it is, and a request to stop.
    std::shared_ptr<std::atomic<double>> done_;
    std::shared_ptr<std::atomic<bool>> stop_;
};

} // namespace tonfield
