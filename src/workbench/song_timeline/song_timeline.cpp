// SPDX-License-Identifier: GPL-3.0-or-later

#include "workbench/song_timeline/song_timeline.hpp"

#include "model/job_layout.hpp"
#include "model/job_values.hpp"
#include "workbench/workbench.hpp"

#include "analysis/analysis_store.hpp"
#include "analysis/job_analysis.hpp"
#include "mixer/click_track.hpp"

#include <algorithm>

namespace tonfield {

SongTimeline::SongTimeline(Workbench& workbench, ports::Services services,
                           const FieldPublisher& publisher)
    : workbench_(workbench)
    , services_(services)
    , publisher_(publisher)
{
}

SongTimeline::~SongTimeline()
{
    stopRunning();
}

void SongTimeline::stopRunning()
{
    if (stop_)
        *stop_ = true;
    stop_.reset();
    done_.reset();
}

void SongTimeline::follow()
{
    following_ = true;
    takeJob();
}

void SongTimeline::cancelAnalysis()
{
    if (stop_)
        *stop_ = true;
}

// A finished job's stems are analysed once, while they stay as they are;
// the same stems listed again change nothing.
void SongTimeline::takeJob()
{
    if (!following_)
        return;
    const auto& job = workbench_.selectedJob();
    const auto& root = workbench_.engineRoot();
    std::vector<std::filesystem::path> stems;
    for (const Stem& stem : workbench_.stems())
        stems.push_back(stem.url);
    if (job && job->id == jobId_ && stems == stems_)
        return;
    leaveJob();
    if (!job || !root || stems.empty() || job->status != job_status::done)
        return;
    jobId_ = job->id;
    stems_ = std::move(stems);
    done_ = std::make_shared<std::atomic<double>>(0.0);
    stop_ = std::make_shared<std::atomic<bool>>(false);
    status_ = {.stage = AnalysisStatus::Stage::analysing, .fraction = 0, .failure = {}};
    publisher_.notify(WorkbenchField::analysis);

    std::weak_ptr<SongTimeline*> weak = self_;
    ports::SongDecoder& decoder = services_.songDecoder;
    ports::SongAnalyzer& analyzer = services_.songAnalyzer;
    services_.background.run(
        [weak, &decoder, &analyzer, root = *root, job = *job, done = done_, stop = stop_] {
            const auto found = analysis::analyzeJob(
                root, job,
                // Once stopped, neither service is touched again: the
                // timeline, and perhaps the services with it, are gone.
                [&decoder, &stop](const std::filesystem::path& file) {
                    if (*stop)
                        return Result<std::vector<float>>::failed("分析已停止");
                    return decoder.decodeMono(file);
                },
                [&analyzer, &stop](const analysis::AnalysisSources& sources) {
                    if (*stop)
                        return Result<analysis::MusicalAnalysis>::failed("分析已停止");
                    return analyzer.analyze(sources);
                },
                [&](double fraction) {
                    *done = fraction;
                    return !*stop;
                });
            const auto corrections = analysis::readCorrections(layout::analysisFile(root, job.id));
            return std::function<void()>([weak, id = job.id, found, corrections] {
                if (auto self = weak.lock())
                    (*self)->analysisEnded(id, found, corrections);
            });
        });
}

void SongTimeline::analysisEnded(const std::string& jobId,
                                 const Result<analysis::MusicalAnalysis>& found,
                                 const analysis::Corrections& corrections)
{
    if (jobId != jobId_ || !stop_ || *stop_)
        return; // another job is shown, or this one was left
    done_.reset();
    stop_.reset();
    if (!found) {
        status_ = {
            .stage = AnalysisStatus::Stage::failed, .fraction = 0, .failure = found.failure()};
    } else {
        status_ = {.stage = AnalysisStatus::Stage::ready, .fraction = 1, .failure = {}};
        found_ = *found;
        corrections_ = corrections;
        analysis_ = analysis::corrected(*found_, corrections_);
    }
    analysisChanged();
}

// The metronome clicks on the beats as corrected.
void SongTimeline::analysisChanged()
{
    publisher_.notify(WorkbenchField::analysis);
    std::optional<mixer::ClickTrack> click;
    if (analysis_ && !analysis_->beats.empty())
        click = mixer::ClickTrack{.beats = analysis_->beats,
                                  .downbeats = analysis_->downbeats,
                                  .meter = analysis_->meter};
    workbench_.mixDesk().takeClick(std::move(click));
}

void SongTimeline::leaveJob()
{
    stopRunning();
    const bool shown = status_ != AnalysisStatus();
    jobId_.clear();
    stems_.clear();
    found_.reset();
    analysis_.reset();
    corrections_ = {};
    status_ = {};
    if (shown)
        analysisChanged();
}

void SongTimeline::poll()
{
    if (done_ && status_.fraction != *done_) {
        status_.fraction = *done_;
        publisher_.notify(WorkbenchField::analysis);
    }
}

void SongTimeline::halveTempo()
{
    analysis::Corrections next = corrections_;
    next.tempoSteps = std::max(next.tempoSteps - 1, -analysis::Corrections::mostTempoSteps);
    correct(next);
}

void SongTimeline::doubleTempo()
{
    analysis::Corrections next = corrections_;
    next.tempoSteps = std::min(next.tempoSteps + 1, analysis::Corrections::mostTempoSteps);
    correct(next);
}

void SongTimeline::moveFirstBar()
{
    if (!found_)
        return;
    analysis::Corrections next = corrections_;
    next.barShift = (next.barShift + 1) % std::max(found_->meter, 1);
    correct(next);
}

void SongTimeline::setKey(std::optional<analysis::Key> key)
{
    analysis::Corrections next = corrections_;
    next.key = key;
    correct(next);
}

// Kept in the job's folder at once: a correction is a deliberate act, and
// one lost to a later crash would have to be found again by ear.
void SongTimeline::correct(analysis::Corrections corrections)
{
    const auto& root = workbench_.engineRoot();
    if (!found_ || !root || corrections == corrections_)
        return;
    corrections_ = std::move(corrections);
    analysis_ = analysis::corrected(*found_, corrections_);
    analysisChanged();
    if (auto written =
            analysis::writeCorrections(layout::analysisFile(*root, jobId_), corrections_);
        !written)
        workbench_.setError("无法保存校正：" + written.failure());
}

void SongTimeline::selectLoop(double from, double to, analysis::Snap snap)
{
    const auto span = analysis_ ? analysis::snappedSpan(*analysis_, from, to, snap)
                                : analysis::Span{std::min(from, to), std::max(from, to)};
    workbench_.mixDesk().selectLoop(span.start, span.end);
}

void SongTimeline::loopCurrentBar()
{
    if (!analysis_ || !workbench_.mixDesk().mixLoaded())
        return;
    if (const auto bar = analysis::barAround(*analysis_, workbench_.playbackTime()))
        workbench_.mixDesk().selectLoop(bar->start, bar->end);
}

void SongTimeline::moveLoop(int bars)
{
    const auto& loop = workbench_.mixDesk().loop();
    if (!analysis_ || !loop)
        return;
    if (const auto moved = analysis::movedByBars(*analysis_, {loop->start, loop->end}, bars))
        workbench_.mixDesk().selectLoop(moved->start, moved->end);
}

} // namespace tonfield
