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

// The metronome comes with the beats: the player clicks on them (and on
// the corrected ones), silent until its strip is unmuted; its strip joins
// the stems' in mix.json only once touched, presets leave it alone, and
// the count-in is remembered from one run to the next.
TEST_F(WorkbenchTimeline, TheMetronomeFollowsTheBeatsAndKeepsItsStrip)
{
    finishFourStems();
    MixDesk& desk = workbench->mixDesk();
    desk.playMix();
    auto& player = *platform.audio.opened.back();
    EXPECT_FALSE(desk.hasClick());
    EXPECT_FALSE(player.click);
    EXPECT_EQ(player.countIns, 0);

    platform.background.runAll();
    ASSERT_TRUE(desk.hasClick());
    ASSERT_TRUE(player.click) << "the playing mix is given the beats at once";
    EXPECT_EQ(player.click->beats, timeline().analysis()->beats);
    EXPECT_EQ(player.click->downbeats, timeline().analysis()->downbeats);
    EXPECT_EQ(player.gains, (std::vector<float>{1, 1, 1, 1, 0})) << "muted at first";

    desk.setStrip(0, {.levelDb = -1, .muted = false, .soloed = false});
    platform.timers.fireAll();
    EXPECT_EQ(mixer::decodeStrips(test::readFile(jobFile("mix.json")))->size(), 4u)
        << "mix.json keeps its form until the metronome is touched";

    desk.setClickStrip({.levelDb = -6, .muted = false, .soloed = true});
    EXPECT_EQ(player.gains, (std::vector<float>{0, 0, 0, 0, mixer::linearGain(-6)}))
        << "soloed like any strip";
    desk.applyMixPreset(mixer::Preset::accompaniment);
    EXPECT_TRUE(desk.clickStrip().soloed) << "a preset leaves the metronome alone";
    platform.timers.fireAll();
    const auto kept = mixer::decodeStrips(test::readFile(jobFile("mix.json")));
    ASSERT_TRUE(kept && kept->size() == 5u);
    EXPECT_EQ(kept->back(), desk.clickStrip());

    // Corrected beats are heard at once.
    const auto beatsBefore = player.click->beats.size();
    workbench->songTimeline().halveTempo();
    EXPECT_EQ(player.click->beats, timeline().analysis()->beats);
    EXPECT_LT(player.click->beats.size(), beatsBefore);

    // An export carries the metronome only when asked.
    for (const bool withClick : {false, true}) {
        platform.dialogs.saveAnswers.push_back(temp / "mix.wav");
        desk.exportMix(false, withClick);
        platform.background.runAll();
        const auto& render = platform.mixRenderer.renders.back();
        EXPECT_EQ(render.click.has_value(), withClick);
        if (withClick) {
            EXPECT_EQ(render.click->beats, timeline().analysis()->beats);
        }
        EXPECT_EQ(render.gains.back(), mixer::linearGain(-6)) << "the metronome's gain last";
    }

    desk.setCountIn(true);
    auto nextRun = Workbench::create(platform.services());
    nextRun->songTimeline().follow();
    nextRun->select(nextRun->jobs().front());
    EXPECT_EQ(nextRun->mixDesk().mixStrips().size(), 4u);
    EXPECT_EQ(nextRun->mixDesk().clickStrip(), desk.clickStrip()) << "read back from mix.json";
    EXPECT_TRUE(nextRun->mixDesk().countIn());
    platform.background.runAll();
    nextRun->mixDesk().playMix();
    EXPECT_EQ(platform.audio.opened.back()->countIns, 1) << "counts in from a stop";

    // Another job shown: no beats, no metronome (and the mix is closed).
    showAnother();
    EXPECT_FALSE(desk.hasClick());
    EXPECT_FALSE(player.alive);
}

} // namespace
} // namespace tonfield
