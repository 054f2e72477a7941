// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/job_layout.hpp"

#include "fakes/workbench_fixture.hpp"

#include <cmath>

namespace tonfield {
namespace {
namespace fs = std::filesystem;
using Field = Workbench::Field;
using mixer::StripSettings;

class WorkbenchMixer : public test::WorkbenchFixture {
protected:
    // A finished four-stem job whose stems all open, the drums the longest.
    void finishFourStems()
    {
        finishJobWithStems({"s_(Bass).wav", "s_(Drums).wav", "s_(Other).wav", "s_(Vocals).wav"});
        for (const Stem& stem : workbench->stems())
            platform.audio.durations[stem.url] = stem.kind() == StemKind::drums ? 200.0 : 180.0;
    }
    test::FakeAudio::State& player() { return *platform.audio.opened.back(); }
    std::vector<float> gains(std::initializer_list<float> values) { return values; }
};

TEST_F(WorkbenchMixer, TheMixPlaysEveryStemAtItsStripsGain)
{
    finishFourStems();
    ASSERT_EQ(workbench->stems().size(), 4u);
    EXPECT_EQ(workbench->mixDesk().mixStrips(), std::vector<StripSettings>(4)) << "all at 0 dB";

    workbench->mixDesk().playMix();
    EXPECT_TRUE(workbench->mixDesk().mixPlaying());
    std::vector<fs::path> files;
    for (const Stem& stem : workbench->stems())
        files.push_back(stem.url);
    EXPECT_EQ(player().mixed, files);
    EXPECT_TRUE(player().playing);
    EXPECT_EQ(player().gains, gains({1, 1, 1, 1}));
    EXPECT_EQ(workbench->playbackDuration(), 200.0) << "the longest stem";

    workbench->mixDesk().applyMixPreset(mixer::Preset::accompaniment);
    EXPECT_EQ(player().gains, gains({1, 1, 1, 0})) << "heard at once";
    EXPECT_TRUE(workbench->mixDesk().mixStrips()[3].muted);

    workbench->mixDesk().setStrip(0, {.levelDb = 40, .muted = false, .soloed = true});
    EXPECT_EQ(workbench->mixDesk().mixStrips()[0].levelDb, mixer::maxLevelDb) << "clamped";
    EXPECT_NEAR(player().gains[0], 1.995f, 1e-3);
    EXPECT_EQ(player().gains[1], 0.0f) << "the soloed bass alone";
    workbench->mixDesk().setStrip(9, {}); // no such strip: nothing happens

    player().position = 12.5;
    workbench->mixDesk().playMix(); // pauses where it is
    EXPECT_FALSE(workbench->mixDesk().mixPlaying());
    EXPECT_FALSE(player().playing);
    EXPECT_EQ(workbench->playbackTime(), 12.5);
    workbench->seek(30);
    EXPECT_EQ(player().position, 30);
    workbench->mixDesk().playMix();
    EXPECT_EQ(platform.audio.opened.size(), 1u) << "resumed, not reopened";

    // The player falls silent at the end of the mix: the tick notices.
    player().playing = false;
    platform.timers.fireAll();
    EXPECT_FALSE(workbench->mixDesk().mixPlaying());
}

TEST_F(WorkbenchMixer, APreviewAndTheMixStopEachOther)
{
    finishFourStems();
    const fs::path vocals = workbench->stems()[3].url;
    workbench->mixDesk().playMix();
    auto& mix = player();
    workbench->play(vocals);
    EXPECT_FALSE(mix.alive) << "the mix stopped";
    EXPECT_FALSE(workbench->mixDesk().mixPlaying());
    EXPECT_EQ(workbench->playingURL(), vocals);

    auto& preview = player();
    workbench->mixDesk().playMix();
    EXPECT_FALSE(preview.alive);
    EXPECT_FALSE(workbench->playingURL());
    EXPECT_TRUE(workbench->mixDesk().mixPlaying());

    workbench->stopPlayback();
    EXPECT_FALSE(workbench->mixDesk().mixPlaying());
    EXPECT_EQ(workbench->playbackDuration(), 0.0);
}

TEST_F(WorkbenchMixer, StripsAreKeptPerJobWhileTheApplicationRuns)
{
    finishFourStems();
    const Job first = *workbench->selectedJob();
    workbench->mixDesk().applyMixPreset(mixer::Preset::noDrums);
    const auto noDrums = workbench->mixDesk().mixStrips();
    EXPECT_TRUE(noDrums[1].muted);

    finishJobWithStems({"t_(Instrumental).wav", "t_(Vocals).wav"});
    EXPECT_EQ(workbench->mixDesk().mixStrips(), std::vector<StripSettings>(2))
        << "another job starts afresh";
    workbench->mixDesk().applyMixPreset(mixer::Preset::vocalsOnly);

    workbench->select(first);
    EXPECT_EQ(workbench->mixDesk().mixStrips(), noDrums);
}

// Beside job.json, never in it; written by the poll timer, not at every
// step of a slider; read by the next run; a broken file reads as none.
TEST_F(WorkbenchMixer, StripsOutliveTheRunInTheJobsMixFile)
{
    finishFourStems();
    const Job job = *workbench->selectedJob();
    const fs::path mixFile = layout::mixFile(engineRoot(), job.id);
    const std::string record = test::readFile(layout::recordFile(engineRoot(), job.id));
    workbench->mixDesk().applyMixPreset(mixer::Preset::noBass);
    workbench->mixDesk().setStrip(1, {.levelDb = -6, .muted = false, .soloed = false});
    EXPECT_FALSE(fs::exists(mixFile)) << "not yet: the tick writes it";
    platform.timers.fireAll();
    ASSERT_TRUE(fs::exists(mixFile));
    EXPECT_EQ(test::readFile(layout::recordFile(engineRoot(), job.id)), record);
    const auto left = workbench->mixDesk().mixStrips();

    auto nextRun = Workbench::create(platform.services());
    nextRun->select(nextRun->jobs().front());
    EXPECT_EQ(nextRun->mixDesk().mixStrips(), left);

    test::writeFile(mixFile, "[{\"levelDb\": \"loud\"}]");
    auto brokenRun = Workbench::create(platform.services());
    brokenRun->select(brokenRun->jobs().front());
    EXPECT_EQ(brokenRun->mixDesk().mixStrips(), std::vector<StripSettings>(4));
}

TEST_F(WorkbenchMixer, EachStemsOverviewIsAskedForOnceAndArrivesOnItsOwn)
{
    finishFourStems();
    auto& requests = platform.waveforms.requests;
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].first, workbench->stems()[0].url);
    EXPECT_EQ(workbench->mixDesk().waveform(requests[0].first), nullptr)
        << "a placeholder until then";

    EXPECT_EQ(workbench->mixDesk().mixLength(), 0) << "not known yet";

    changes.clear();
    requests[2].second({std::vector<float>(400, 0.25f), 181.5});
    EXPECT_EQ(changes, std::vector<Field>{Field::waveforms});
    ASSERT_NE(workbench->mixDesk().waveform(requests[2].first), nullptr);
    EXPECT_EQ(workbench->mixDesk().waveform(requests[2].first)->at(7), 0.25f);
    requests[0].second({std::vector<float>(400, 0.5f), 180.0});
    EXPECT_EQ(workbench->mixDesk().mixLength(), 181.5)
        << "the longest stem's, before the mix is played";

    workbench->select(*workbench->selectedJob());
    EXPECT_EQ(requests.size(), 4u) << "not asked again";
}

TEST_F(WorkbenchMixer, NothingToMixOrNothingThatOpens)
{
    finishJobWithStems({"u_(Vocals).wav"});
    workbench->mixDesk().playMix();
    EXPECT_TRUE(platform.audio.opened.empty()) << "one stem is no mix";

    finishJobWithStems({"v_(Instrumental).wav", "v_(Vocals).wav"}); // not openable
    workbench->mixDesk().playMix();
    EXPECT_FALSE(workbench->mixDesk().mixPlaying());
    ASSERT_TRUE(workbench->error());
    EXPECT_EQ(workbench->error()->rfind("无法试听：", 0), 0u) << *workbench->error();
}

} // namespace
} // namespace tonfield

namespace tonfield {
namespace {

class WorkbenchLoop : public test::WorkbenchFixture {};

TEST_F(WorkbenchLoop, TheMixRepeatsTheLoopUntilItIsClearedAndAnotherJobForgetsIt)
{
    finishJobWithStems({"s_(Bass).wav", "s_(Vocals).wav"});
    for (const Stem& stem : workbench->stems())
        platform.audio.durations[stem.url] = 200.0;
    workbench->mixDesk().selectLoop(10, 20);
    EXPECT_FALSE(workbench->mixDesk().loop()) << "no mix loaded, no length to loop in";

    workbench->mixDesk().playMix();
    test::FakeAudio::State& mix = *platform.audio.opened.back();
    workbench->seek(50);
    workbench->mixDesk().selectLoop(30, 10);
    EXPECT_EQ(workbench->mixDesk().loop(), (mixer::Loop{10, 30}));
    EXPECT_TRUE(workbench->mixDesk().loopOn());
    EXPECT_EQ(mix.loop, (mixer::Loop{10, 30}));
    EXPECT_EQ(workbench->playbackTime(), 10.0) << "outside the loop: to its start";

    workbench->mixDesk().toggleLoop(); // L
    EXPECT_FALSE(mix.loop);
    EXPECT_EQ(workbench->mixDesk().loop(), (mixer::Loop{10, 30})) << "kept for the next L";
    workbench->mixDesk().toggleLoop();
    EXPECT_EQ(mix.loop, (mixer::Loop{10, 30}));

    mix.position = 25;
    workbench->tick();
    workbench->mixDesk().setLoopEndHere(); // ]
    EXPECT_EQ(mix.loop, (mixer::Loop{10, 25}));
    mix.position = 12;
    workbench->tick();
    workbench->mixDesk().setLoopStartHere(); // [
    EXPECT_EQ(mix.loop, (mixer::Loop{12, 25}));

    workbench->stopPlayback();
    workbench->mixDesk().playMix();
    EXPECT_EQ(platform.audio.opened.back()->loop, (mixer::Loop{12, 25}))
        << "a new player loops too";
    workbench->mixDesk().clearLoop();
    EXPECT_FALSE(workbench->mixDesk().loop());
    EXPECT_FALSE(platform.audio.opened.back()->loop);

    workbench->mixDesk().selectLoop(1, 5);
    finishJobWithStems({"t_(Vocals).wav", "t_(Drums).wav"});
    EXPECT_FALSE(workbench->mixDesk().loop()) << "another job, no loop";
}

TEST_F(WorkbenchLoop, SpeedAndPitchStayWithinTheirRangesAndReachEveryMix)
{
    workbench->mixDesk().setSpeed(0.7);
    workbench->mixDesk().setSemitones(-2);
    EXPECT_EQ(workbench->mixDesk().tempo(), (mixer::Tempo{0.7, -2}));
    finishJobWithStems({"s_(Bass).wav", "s_(Vocals).wav"});
    for (const Stem& stem : workbench->stems())
        platform.audio.durations[stem.url] = 200.0;
    workbench->mixDesk().playMix();
    EXPECT_EQ(platform.audio.opened.back()->tempo, (mixer::Tempo{0.7, -2})) << "the new mix";
    workbench->mixDesk().setSpeed(3);
    workbench->mixDesk().setSemitones(-40);
    EXPECT_EQ(platform.audio.opened.back()->tempo, (mixer::Tempo{1.5, -12})) << "clamped";
    workbench->mixDesk().setSpeed(std::nan(""));
    EXPECT_EQ(workbench->mixDesk().tempo().speed, 1.0) << "nonsense resets";
}

} // namespace
} // namespace tonfield
