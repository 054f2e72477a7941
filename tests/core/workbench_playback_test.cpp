// SPDX-License-Identifier: GPL-3.0-or-later

#include "fakes/workbench_fixture.hpp"

namespace tonfield {
namespace {
namespace fs = std::filesystem;
using Field = Workbench::Field;

class WorkbenchPlayback : public test::WorkbenchFixture {
protected:
    void SetUp() override
    {
        WorkbenchFixture::SetUp();
        platform.audio.durations = {{a, 180.0}, {b, 0.6}};
    }
    test::FakeAudio::State& player(std::size_t index) { return *platform.audio.opened.at(index); }

    const fs::path a = "/stems/a_(Vocals).wav";
    const fs::path b = "/stems/b_(Drums).wav";
    const fs::path broken = "/stems/notes.wav";
};

TEST_F(WorkbenchPlayback, PlayTogglesAndResumesWithTheSamePlayer)
{
    workbench->play(a);
    EXPECT_EQ(workbench->playingURL(), a);
    EXPECT_EQ(workbench->playbackDuration(), 180.0);
    EXPECT_TRUE(player(0).playing);

    player(0).position = 42.0;
    platform.timers.fireAll();
    EXPECT_EQ(workbench->playbackTime(), 42.0);

    workbench->play(a);
    EXPECT_FALSE(workbench->playingURL());
    EXPECT_FALSE(player(0).playing);
    EXPECT_EQ(workbench->playbackDuration(), 180.0);

    workbench->seek(30.0);
    EXPECT_EQ(workbench->playbackTime(), 30.0);
    workbench->play(a);
    EXPECT_EQ(platform.audio.opened.size(), 1u);
    EXPECT_TRUE(player(0).playing);
    EXPECT_EQ(player(0).position, 30.0);
}

// The position shown on pausing is where the sound stopped, not the last tick's.
TEST_F(WorkbenchPlayback, PausingTakesThePlayersPosition)
{
    workbench->play(a);
    player(0).position = 12.3;
    workbench->play(a);
    EXPECT_EQ(workbench->playbackTime(), 12.3);
    EXPECT_FALSE(workbench->playingURL());
}

TEST_F(WorkbenchPlayback, AnotherFileGetsANewPlayerUnlessItCannotBeOpened)
{
    workbench->play(a);
    workbench->play(broken);
    EXPECT_EQ(workbench->error(),
              "无法试听：/stems/notes.wav: Invalid data found when processing input");
    EXPECT_EQ(workbench->playingURL(), a);
    EXPECT_TRUE(player(0).alive && player(0).playing);

    workbench->play(b);
    EXPECT_FALSE(player(0).alive);
    EXPECT_EQ(workbench->playingURL(), b);
    EXPECT_EQ(workbench->playbackDuration(), 0.6);
    EXPECT_EQ(player(1).position, 0.0);
}

TEST_F(WorkbenchPlayback, TheEndOfAFileIsNoticedByTheNextTick)
{
    workbench->play(b);
    player(0).playing = false; // played to its end
    player(0).position = 0.6;
    EXPECT_EQ(workbench->playingURL(), b);
    platform.timers.fireAll();
    EXPECT_FALSE(workbench->playingURL());
    EXPECT_EQ(workbench->playbackTime(), 0.6);
    workbench->play(b);
    EXPECT_EQ(platform.audio.opened.size(), 1u) << "the bound player plays again";
}

TEST_F(WorkbenchPlayback, StopDropsThePlayerAndClearsThePosition)
{
    workbench->seek(12.0); // no player: only the position moves
    EXPECT_EQ(workbench->playbackTime(), 12.0);
    EXPECT_TRUE(platform.audio.opened.empty());

    workbench->play(a);
    workbench->stopPlayback();
    EXPECT_FALSE(player(0).alive);
    EXPECT_FALSE(workbench->playingURL());
    EXPECT_EQ(workbench->playbackTime(), 0.0);
    EXPECT_EQ(workbench->playbackDuration(), 0.0);
    changes.clear();
    platform.timers.fireAll();
    EXPECT_TRUE(changes.empty());

    workbench->play(a);
    EXPECT_EQ(platform.audio.opened.size(), 2u);
}

TEST_F(WorkbenchPlayback, StartingAJobOrSelectingOneStopsPlayback)
{
    workbench->play(a);
    startJob();
    EXPECT_FALSE(player(0).alive);

    workbench->play(b);
    workbench->select(Job{}); // refused while busy: playback goes on
    EXPECT_TRUE(player(1).alive);
    platform.launcher.exit(0);
    workbench->select(*workbench->selectedJob());
    EXPECT_FALSE(player(1).alive);
    EXPECT_EQ(workbench->playbackDuration(), 0.0);
}

} // namespace
} // namespace tonfield
