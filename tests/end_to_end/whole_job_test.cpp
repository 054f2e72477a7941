// A whole job through the real parts: the Qt adapters, a real engine folder
// made from the bundled reference engine, a real child process and real
// files, driven the way the window drives the Workbench.

#include "model/job_json.hpp"
#include "model/job_layout.hpp"
#include "platform/qt_audio_output.hpp"
#include "platform/qt_platform.hpp"
#include "workbench/workbench.hpp"

#include "adapters/audio_files.hpp"
#include "adapters/event_loop.hpp"
#include "fakes/fake_platform.hpp"
#include "fakes/temp_folder.hpp"

#include <gtest/gtest.h>

namespace tonfield {
namespace {
namespace fs = std::filesystem;

TEST(WholeJob, FourStemsFromImportToExport)
{
    testing::TempFolder temp;
    const fs::path engineRoot = temp / "Engine";
    const std::string makeFolder = std::string(TONFIELD_SOURCE_DIR) +
                                   "/reference-engine/make_engine_folder.sh '" +
                                   engineRoot.string() + "'";
    ASSERT_EQ(std::system(makeFolder.c_str()), 0);
    const fs::path source = temp / "晴天 demo.m4a";
    ASSERT_TRUE(testing::makeTone(source, 4.0));

    platform::QtClock clock;
    platform::QtIdSource ids;
    platform::QtSettings settings(platform::toQString(temp / "settings.ini"));
    settings.setString("engineRoot", engineRoot.string());
    testing::ScriptedDialogs dialogs;
    platform::QtTimers timers;
    platform::QtAppEnvironment environment;
    platform::QtAccessGrants grants;
    platform::QtProcessLauncher launcher;
    platform::QtAudioOutput audio;
    testing::RecordingFileBrowser fileBrowser;
    auto workbench = Workbench::create({clock, ids, settings, dialogs, timers, environment,
                                        grants, launcher, audio, fileBrowser});
    ASSERT_EQ(workbench->engineRoot(), engineRoot);
    ASSERT_TRUE(workbench->ready());

    workbench->importFile(source);
    workbench->setMode(SeparationMode::four);
    workbench->setFormat("FLAC");
    bool sawReady = false;
    workbench->subscribe([&](Workbench::Field) {
        sawReady = sawReady || workbench->message() == "模型已就绪，正在分离音轨…";
    });
    workbench->start();
    ASSERT_TRUE(workbench->busy()) << workbench->error().value_or("");
    ASSERT_TRUE(testing::runUntil([&] { return !workbench->busy(); }, 300'000));

    const Job job = workbench->selectedJob().value();
    EXPECT_EQ(job.status, "done") << workbench->log();
    EXPECT_EQ(workbench->message(), "分轨完成，已生成 4 条独立音轨。");
    EXPECT_TRUE(sawReady) << "the poll timer saw the engine's ready marker";
    EXPECT_NE(workbench->log().find("模型就绪"), std::string::npos);
    std::vector<std::string> labels;
    for (const Stem& stem : workbench->stems())
        labels.push_back(stem.name());
    EXPECT_EQ(labels, (std::vector<std::string>{"贝斯", "鼓", "其他乐器", "人声"}));
    ASSERT_EQ(job.outputs->size(), 4u);
    EXPECT_EQ(job.outputs->at(0).url,
              "/output/" + job.id + "/%E6%99%B4%E5%A4%A9%20demo_(Bass).flac");
    EXPECT_GT(job.outputs->at(0).size, 0);
    EXPECT_EQ(decodeJob(testing::readFile(layout::recordFile(engineRoot, job.id))), job);
    ASSERT_EQ(workbench->jobs().size(), 1u);
    EXPECT_EQ(workbench->jobs()[0], job);

    dialogs.folderAnswers.push_back(temp / "exports");
    workbench->exportAll();
    EXPECT_FALSE(workbench->error());
    ASSERT_EQ(fileBrowser.opened.size(), 1u);
    EXPECT_EQ(std::distance(fs::directory_iterator(fileBrowser.opened[0]), fs::directory_iterator()), 4);
}

} // namespace
} // namespace tonfield
