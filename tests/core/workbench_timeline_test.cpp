// SPDX-License-Identifier: GPL-3.0-or-later

// The shown job's practice timeline: analysed on a worker from the right
// stems (and stopped when the job is left), kept in analysis.json and read
// back, made again when a stem changes or the file is damaged, corrected by
// the user for good, and the loops that follow its bars.

#include "model/job_layout.hpp"

#include "analysis/analysis_store.hpp"
#include "fakes/synthetic_song.hpp"
#include "fakes/workbench_fixture.hpp"

#include <algorithm>

namespace tonfield {
namespace {
namespace fs = std::filesystem;
using Stage = AnalysisStatus::Stage;

class WorkbenchTimeline : public test::WorkbenchFixture {
protected:
    WorkbenchTimeline() { workbench->songTimeline().follow(); }

    // A finished four-stem job whose stems all hold the same 120 BPM song.
    void finishFourStems()
    {
        finishJobWithStems({"s_(Bass).wav", "s_(Drums).wav", "s_(Other).wav", "s_(Vocals).wav"});
        for (const Stem& stem : workbench->stems()) {
            platform.songDecoder.songs[stem.url] = song.samples;
            platform.audio.durations[stem.url] = 20;
        }
    }
    fs::path stem(const char* name) const { return jobFile(std::string("output/") + name); }
    const SongTimeline& timeline() const { return workbench->songTimeline(); }
    Stage stage() const { return timeline().status().stage; }
    // Another job shown: one with no stems.
    void showAnother()
    {
        Job other = *workbench->selectedJob();
        other.id = "another-job";
        workbench->select(other);
    }
    void showAgain()
    {
        const Job job = *workbench->selectedJob();
        showAnother();
        EXPECT_EQ(stage(), Stage::none);
        workbench->select(job);
    }

    const test::Song song = test::makeSong(120, {{9, true}, {5, false}, {0, false}, {7, false}}, 8);
};

TEST_F(WorkbenchTimeline, AFinishedJobIsAnalysedOnAWorkerFromItsStemsAndKept)
{
    finishFourStems();
    EXPECT_EQ(stage(), Stage::analysing) << "asked for as soon as the job is done";
    EXPECT_FALSE(timeline().analysis());
    EXPECT_NE(std::find(changes.begin(), changes.end(), Workbench::Field::analysis), changes.end());
    EXPECT_TRUE(platform.songDecoder.decoded.empty()) << "nothing decoded on the main thread";

    platform.background.runAll();
    ASSERT_EQ(stage(), Stage::ready) << timeline().status().failure;
    ASSERT_TRUE(timeline().analysis());
    EXPECT_NEAR(timeline().analysis()->tempo, 120, 2);
    EXPECT_GE(timeline().analysis()->downbeats.size(), 7u);
    // The rhythm from the drums, the harmony from the bass and the other
    // instruments; the vocals never.
    EXPECT_EQ(platform.songDecoder.decoded,
              (std::vector<fs::path>{stem("s_(Drums).wav"), stem("s_(Bass).wav"),
                                     stem("s_(Other).wav")}));
    EXPECT_TRUE(fs::exists(jobFile("analysis.json")));

    // Shown again: read back, not decoded again.
    showAgain();
    platform.background.runAll();
    EXPECT_EQ(stage(), Stage::ready);
    EXPECT_EQ(platform.songDecoder.decoded.size(), 3u);
    // Listed again unchanged: nothing to do.
    workbench->refreshStems();
    EXPECT_EQ(stage(), Stage::ready);
    EXPECT_TRUE(platform.background.waiting.empty());
}

// The command line's Workbench: nothing shows a timeline, so no worker is
// left decoding when the command ends.
TEST_F(WorkbenchTimeline, OnlyAWorkbenchWhoseTimelineIsShownAnalyses)
{
    auto headless = Workbench::create(platform.services());
    headless->importFile(sourceFile);
    headless->start();
    test::writeFile(
        layout::outputFolder(engineRoot(), headless->selectedJob()->id) / "s_(Drums).wav", "audio");
    platform.launcher.exit(0);
    ASSERT_EQ(headless->stems().size(), 1u);
    EXPECT_EQ(headless->songTimeline().status().stage, Stage::none);
    EXPECT_TRUE(platform.background.waiting.empty());

    headless->songTimeline().follow(); // shown now: the job shown is analysed
    EXPECT_EQ(headless->songTimeline().status().stage, Stage::analysing);
}

TEST_F(WorkbenchTimeline, ADamagedFileOrAChangedStemIsAnalysedAgain)
{
    finishFourStems();
    platform.background.runAll();
    ASSERT_EQ(stage(), Stage::ready);

    test::writeFile(jobFile("analysis.json"), "{\"sources\": [tru");
    showAgain();
    platform.background.runAll();
    EXPECT_EQ(stage(), Stage::ready);
    EXPECT_EQ(platform.songDecoder.decoded.size(), 6u) << "decoded again";

    // The other instruments' stem deleted: listed anew, analysed without it.
    fs::remove(stem("s_(Other).wav"));
    workbench->refreshStems();
    EXPECT_EQ(stage(), Stage::analysing);
    platform.background.runAll();
    EXPECT_EQ(stage(), Stage::ready);
    EXPECT_EQ(platform.songDecoder.decoded.back(), stem("s_(Bass).wav"));
}

TEST_F(WorkbenchTimeline, AFailureIsShownAndAJobLeftKeepsItsAnalysis)
{
    finishJobWithStems({"s_(Drums).wav", "s_(Other).wav"}); // stems that hold no song
    platform.background.runAll();
    ASSERT_EQ(stage(), Stage::failed);
    EXPECT_NE(timeline().status().failure.find("Invalid data"), std::string::npos);
    EXPECT_NE(timeline().status().failure.find("s_(Drums).wav"), std::string::npos);
    EXPECT_FALSE(timeline().analysis());

    // Left while the worker runs: it stops, stores nothing, and shows
    // nothing on the other job.
    for (const char* name : {"s_(Drums).wav", "s_(Other).wav"})
        platform.songDecoder.songs[stem(name)] = song.samples;
    showAgain();
    const Job job = *workbench->selectedJob();
    showAnother();
    const std::size_t decodedBefore = platform.songDecoder.decoded.size();
    platform.background.runAll();
    EXPECT_EQ(stage(), Stage::none);
    EXPECT_FALSE(timeline().analysis());
    EXPECT_FALSE(fs::exists(layout::analysisFile(engineRoot(), job.id)));
    EXPECT_EQ(platform.songDecoder.decoded.size(), decodedBefore) << "nothing decoded once stopped";
    workbench->select(job);
    platform.background.runAll();
    EXPECT_EQ(stage(), Stage::ready);

    // A job that is not done is not analysed.
    startJob();
    EXPECT_EQ(stage(), Stage::none);
}

TEST_F(WorkbenchTimeline, CorrectionsAreKeptAndOutliveANewAnalysis)
{
    finishFourStems();
    platform.background.runAll();
    const double found = timeline().analysis()->tempo;
    const double firstBar = timeline().analysis()->downbeats.front();

    workbench->songTimeline().halveTempo();
    EXPECT_NEAR(timeline().analysis()->tempo, found / 2, 1e-9);
    workbench->songTimeline().moveFirstBar();
    EXPECT_GT(timeline().analysis()->downbeats.front(), firstBar);
    workbench->songTimeline().setKey(analysis::Key{2, false, 0});
    EXPECT_EQ(timeline().analysis()->key->tonic, 2);
    EXPECT_EQ(analysis::readCorrections(jobFile("analysis.json")).tempoSteps, -1);

    // A stem separated again is analysed again: the user's corrections stay.
    test::writeFile(stem("s_(Drums).wav"), "audio, separated again");
    showAgain();
    platform.background.runAll();
    ASSERT_EQ(stage(), Stage::ready);
    EXPECT_EQ(platform.songDecoder.decoded.size(), 6u) << "analysed again";
    EXPECT_NEAR(timeline().analysis()->tempo, found / 2, 1e-9);
    EXPECT_EQ(timeline().analysis()->key->tonic, 2);

    workbench->songTimeline().setKey(std::nullopt);
    EXPECT_NE(timeline().analysis()->key->tonic, 2) << "back to the key found";

    // A folder that cannot be written to says so.
    fs::remove(jobFile("analysis.json"));
    fs::create_directory(jobFile("analysis.json"));
    workbench->songTimeline().doubleTempo();
    ASSERT_TRUE(workbench->error());
    EXPECT_NE(workbench->error()->find("无法保存校正"), std::string::npos);
}

TEST_F(WorkbenchTimeline, LoopsFollowTheBars)
{
    finishFourStems();
    platform.background.runAll();
    const auto bars = timeline().analysis()->downbeats;
    ASSERT_GE(bars.size(), 6u);
    workbench->mixDesk().playMix();

    workbench->songTimeline().selectLoop(bars[1] + 0.3, bars[3] - 0.2, analysis::Snap::bars);
    ASSERT_TRUE(workbench->mixDesk().loop());
    EXPECT_DOUBLE_EQ(workbench->mixDesk().loop()->start, bars[1]);
    EXPECT_DOUBLE_EQ(workbench->mixDesk().loop()->end, bars[3]);

    workbench->songTimeline().moveLoop(1);
    EXPECT_DOUBLE_EQ(workbench->mixDesk().loop()->start, bars[2]);
    EXPECT_DOUBLE_EQ(workbench->mixDesk().loop()->end, bars[4]);

    platform.audio.opened.back()->position = bars[4] + 0.1;
    platform.timers.fireAll();
    workbench->songTimeline().loopCurrentBar();
    EXPECT_DOUBLE_EQ(workbench->mixDesk().loop()->start, bars[4]);
    EXPECT_DOUBLE_EQ(workbench->mixDesk().loop()->end, bars[5]);

    workbench->songTimeline().selectLoop(bars[1] + 0.3, bars[1] + 0.9, analysis::Snap::free);
    EXPECT_DOUBLE_EQ(workbench->mixDesk().loop()->start, bars[1] + 0.3);
}

} // namespace
} // namespace tonfield
