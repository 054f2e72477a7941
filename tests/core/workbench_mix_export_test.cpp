// SPDX-License-Identifier: GPL-3.0-or-later

#include "fakes/workbench_fixture.hpp"

namespace tonfield {
namespace {
namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

class WorkbenchMixExport : public test::WorkbenchFixture {
protected:
    void SetUp() override
    {
        workbench->setFormat("FLAC");
        finishJobWithStems({"s_(Instrumental).flac", "s_(Vocals).flac"});
        writeFile(temp / "out/old.wav", "an earlier mix");
    }
    std::size_t filesIn(const fs::path& folder)
    {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
    }
};

TEST_F(WorkbenchMixExport, WritesTheMixAsItSoundsUnderTheNameOfWhatIsHeard)
{
    workbench->mixDesk().applyMixPreset(mixer::Preset::accompaniment);
    platform.dialogs.saveAnswers.push_back(temp / "out/karaoke.mp3");
    workbench->mixDesk().exportMix();
    ASSERT_EQ(platform.dialogs.typedSaveRequests.size(), 1u);
    const auto& [name, types, chosen] = platform.dialogs.typedSaveRequests[0];
    EXPECT_EQ(name, "My Song (Live) · 伴奏");
    EXPECT_EQ(types, (std::vector<std::string>{"wav", "flac", "mp3"}));
    EXPECT_EQ(chosen, "flac") << "the job's own format first";
    EXPECT_TRUE(workbench->mixDesk().mixExport().running);
    EXPECT_FALSE(fs::exists(temp / "out/karaoke.mp3")) << "nothing before it is complete";

    platform.background.runAll();
    EXPECT_FALSE(workbench->mixDesk().mixExport().running);
    EXPECT_EQ(workbench->mixDesk().mixExport().file, temp / "out/karaoke.mp3");
    EXPECT_EQ(readFile(temp / "out/karaoke.mp3"),
              "MP3\ns_(Instrumental).flac 1.000000\ns_(Vocals).flac 0.000000");
    EXPECT_EQ(filesIn(temp / "out"), 2u);

    // Levels of the user's own: the mix is "混音".
    auto strips = workbench->mixDesk().mixStrips();
    strips[0].levelDb = -6;
    workbench->mixDesk().setStrip(0, strips[0]);
    platform.dialogs.saveAnswers.push_back(temp / "out/old.wav");
    workbench->mixDesk().exportMix();
    EXPECT_EQ(std::get<0>(platform.dialogs.typedSaveRequests[1]), "My Song (Live) · 混音");
    platform.background.runAll();
    EXPECT_EQ(readFile(temp / "out/old.wav").substr(0, 4), "WAV\n") << "replaced once complete";
    EXPECT_FALSE(workbench->error());

    // Speed and pitch only when asked for.
    workbench->mixDesk().setSpeed(0.7);
    workbench->mixDesk().setSemitones(-2);
    for (const bool withTempo : {false, true}) {
        platform.dialogs.saveAnswers.push_back(temp / "out/practice.flac");
        workbench->mixDesk().exportMix(withTempo);
        platform.background.runAll();
    }
    ASSERT_EQ(platform.mixRenderer.renders.size(), 4u);
    EXPECT_EQ(platform.mixRenderer.renders[2].tempo, mixer::Tempo{});
    EXPECT_EQ(platform.mixRenderer.renders[3].tempo, (mixer::Tempo{0.7, -2}));
}

// "已导出 …" speaks of the job it was written from: showing another job,
// or none, drops it.
TEST_F(WorkbenchMixExport, TheNoteOfTheLastMixStaysWithItsJob)
{
    platform.dialogs.saveAnswers.push_back(temp / "out/mix.flac");
    workbench->mixDesk().exportMix();
    platform.background.runAll();
    ASSERT_EQ(workbench->mixDesk().mixExport().file, temp / "out/mix.flac");
    const Job exported = *workbench->selectedJob();
    finishJobWithStems({"t_(Vocals).flac", "t_(Drums).flac"});
    EXPECT_FALSE(workbench->mixDesk().mixExport().file) << "a new run shows no other job's mix";

    workbench->select(exported);
    platform.dialogs.saveAnswers.push_back(temp / "out/again.flac");
    workbench->mixDesk().exportMix();
    platform.background.runAll();
    workbench->select(*workbench->selectedJob()); // the same job opened again
    EXPECT_FALSE(workbench->mixDesk().mixExport().file);
}

TEST_F(WorkbenchMixExport, ACancelledOrFailedExportLeavesNothingBehind)
{
    platform.dialogs.saveAnswers.push_back(temp / "out/old.wav");
    workbench->mixDesk().exportMix();
    workbench->mixDesk().cancelMixExport();
    platform.background.runAll();
    EXPECT_EQ(readFile(temp / "out/old.wav"), "an earlier mix");
    EXPECT_EQ(filesIn(temp / "out"), 1u);
    EXPECT_FALSE(workbench->mixDesk().mixExport().running);
    EXPECT_FALSE(workbench->mixDesk().mixExport().file);
    EXPECT_FALSE(workbench->error()) << "stopping is not a failure";

    platform.mixRenderer.failure = "No space left on device";
    platform.dialogs.saveAnswers.push_back(temp / "out/old.wav");
    workbench->mixDesk().exportMix();
    platform.background.runAll();
    EXPECT_EQ(workbench->error(), "导出混音失败：No space left on device");
    EXPECT_EQ(readFile(temp / "out/old.wav"), "an earlier mix");
    EXPECT_EQ(filesIn(temp / "out"), 1u);

    platform.dialogs.saveAnswers.push_back(temp / "out/mix.ogg");
    workbench->mixDesk().exportMix();
    EXPECT_EQ(workbench->error(), "请以 .wav、.flac 或 .mp3 结尾命名混音文件。");
    EXPECT_FALSE(workbench->mixDesk().mixExport().running);
}

} // namespace
} // namespace tonfield
