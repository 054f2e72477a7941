// SPDX-License-Identifier: GPL-3.0-or-later

#include "model/job_json.hpp"

#include "fakes/workbench_fixture.hpp"

namespace tonfield {
namespace {
namespace fs = std::filesystem;
using Field = Workbench::Field;
using test::readFile;
using test::writeFile;

class WorkbenchRun : public test::WorkbenchFixture {};

TEST_F(WorkbenchRun, LaunchPreparesTheJobAndInvokesTheEngine)
{
    workbench->setMode(SeparationMode::four);
    workbench->setFormat("FLAC");
    workbench->setError("left over");
    workbench->importFile(sourceFile);
    changes.clear();
    workbench->start();

    const Job& job = *workbench->selectedJob();
    EXPECT_EQ(job.id, "c0ffee01000040008000000000000001");
    EXPECT_EQ(job.filename, "My Song (Live).flac");
    EXPECT_EQ(job.mode, "four");
    EXPECT_EQ(job.format, "FLAC");
    EXPECT_EQ(job.quality, "standard");
    EXPECT_EQ(job.status, "running");
    EXPECT_EQ(job.created, platform.clock.now);
    EXPECT_EQ(job.outputs, std::vector<JobOutput>{});
    EXPECT_FALSE(job.elapsed);

    EXPECT_EQ(test::readFile(jobFile("input/My Song (Live).flac")), test::readFile(sourceFile));
    EXPECT_TRUE(fs::is_directory(jobFile("output")));
    EXPECT_TRUE(fs::exists(jobFile("process.log")));
    EXPECT_EQ(decodeJob(test::readFile(jobFile("job.json"))), job);
    ASSERT_EQ(workbench->jobs().size(), 1u) << "the history already lists the new job";
    EXPECT_EQ(workbench->jobs()[0].status, "running");

    const engine::Invocation& invocation = platform.launcher.last().invocation;
    const fs::path root = engineRoot();
    EXPECT_EQ(invocation.executable, root / ".venv/bin/python");
    EXPECT_EQ(invocation.workingDirectory, root);
    EXPECT_EQ(invocation.arguments,
              (std::vector<std::string>{"-u", (root / "separate_job.py").string(),
                                        jobFile("input/My Song (Live).flac").string(),
                                        jobFile("output").string(), "htdemucs.yaml", "FLAC",
                                        "standard"}));
    EXPECT_EQ(invocation.environment, (std::map<std::string, std::string>{
                                          {"HOME", "/home/test"}, {"PYTHONUNBUFFERED", "1"}}));
    EXPECT_GE(platform.launcher.last().outputFile, 0);

    EXPECT_FALSE(workbench->error());
    EXPECT_EQ(workbench->message(), "正在加载模型，首次使用需要下载权重。");
    EXPECT_EQ(changes,
              (std::vector<Field>{Field::playingURL, Field::playbackTime, Field::playbackDuration,
                                  Field::error, Field::selectedJob, Field::stems, Field::log,
                                  Field::elapsed, Field::busy, Field::showHistory, Field::message,
                                  Field::jobs}));
}

TEST_F(WorkbenchRun, ModelAndQualityFollowTheSettings)
{
    const std::pair<SeparationMode, const char*> models[] = {
        {SeparationMode::vocal, "UVR-MDX-NET-Inst_HQ_3.onnx"},
        {SeparationMode::four, "htdemucs.yaml"},
        {SeparationMode::six, "htdemucs_6s.yaml"},
    };
    workbench->importFile(sourceFile);
    workbench->setHighQuality(true);
    for (auto [mode, model] : models) {
        workbench->setMode(mode);
        workbench->start();
        const auto& arguments = platform.launcher.last().invocation.arguments;
        EXPECT_EQ(arguments.at(4), model);
        EXPECT_EQ(arguments.at(6), "high");
        platform.launcher.exit(1);
    }
}

TEST_F(WorkbenchRun, GuardsLeaveEverythingAsItWas)
{
    workbench->start(); // no source
    workbench->importFile(sourceFile);
    fs::remove(engineRoot() / ".venv/bin/python");
    workbench->setError("kept");
    changes.clear();
    workbench->start(); // engine not ready
    EXPECT_TRUE(changes.empty());
    EXPECT_TRUE(platform.launcher.launches.empty());
    EXPECT_FALSE(fs::exists(layout::jobsFolder(engineRoot())));

    test::makeEngineFolder(engineRoot(), true);
    workbench->start();
    changes.clear();
    workbench->start(); // busy
    workbench->chooseEngine();
    workbench->chooseFile();
    workbench->importFile(sourceFile);
    workbench->select(Job{});
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(platform.launcher.launches.size(), 1u);
    EXPECT_TRUE(platform.dialogs.folderRequests.empty());
    EXPECT_EQ(platform.dialogs.fileRequests, 0);
}

TEST_F(WorkbenchRun, SourceGoneBeforeTheCopyRecordsAnError)
{
    workbench->importFile(sourceFile);
    fs::remove(sourceFile);
    workbench->start();

    const std::string text =
        sourceFile.string() + ": 找不到这个文件或文件夹（No such file or directory）";
    EXPECT_FALSE(workbench->busy());
    EXPECT_EQ(workbench->error(), text);
    EXPECT_EQ(workbench->selectedJob()->status, "error");
    EXPECT_EQ(workbench->selectedJob()->message, text);
    EXPECT_EQ(workbench->message(), "音频已就绪，选择模型后开始分轨。")
        << "the failure path keeps message";
    EXPECT_TRUE(fs::is_directory(jobFile("input")));
    EXPECT_TRUE(fs::is_empty(jobFile("input")));
    EXPECT_TRUE(fs::is_directory(jobFile("output")));
    EXPECT_EQ(decodeJob(test::readFile(jobFile("job.json")))->status, "error");
    ASSERT_EQ(workbench->jobs().size(), 1u);
    EXPECT_TRUE(platform.launcher.launches.empty());
}

// A name the file system allows but UTF-8 does not (an old Latin-1 disk):
// the job is recorded under the name repaired, and its copy holds the
// file's real bytes, read through its real name.
TEST_F(WorkbenchRun, ASourceWhoseNameIsNotUtf8IsRecordedWithItRepaired)
{
    const fs::path latin1 = temp / "caf\xE9.wav";
    writeFile(latin1, "latin-1 audio");
    workbench->importFile(latin1);
    workbench->start();

    EXPECT_FALSE(workbench->error());
    ASSERT_TRUE(workbench->busy());
    const Job stored = *decodeJob(readFile(jobFile("job.json")));
    EXPECT_EQ(stored.filename, "caf\uFFFD.wav");
    EXPECT_EQ(stored.status, "running");
    const fs::path copy = jobFile("input/caf\uFFFD.wav");
    EXPECT_EQ(readFile(copy), "latin-1 audio");
    EXPECT_EQ(platform.launcher.last().invocation.arguments[2], copy.string());
}

TEST_F(WorkbenchRun, LaunchFailureSavesTheRunningRecordAgainAsError)
{
    platform.launcher.failure = "/x/.venv/bin/python: Permission denied";
    workbench->importFile(sourceFile);
    workbench->start();

    EXPECT_FALSE(workbench->busy());
    EXPECT_EQ(workbench->error(), platform.launcher.failure);
    EXPECT_EQ(workbench->message(), "正在加载模型，首次使用需要下载权重。");
    EXPECT_EQ(workbench->log(), "");
    Job stored = *decodeJob(test::readFile(jobFile("job.json")));
    EXPECT_EQ(stored.status, "error");
    EXPECT_EQ(stored.message, platform.launcher.failure);
    EXPECT_EQ(workbench->jobs().at(0), stored);
}

// Both saves fail here (job.json is a folder) and the launch fails too: the
// user sees the launch's error, the record's time was taken before the copy,
// and the engine's log descriptor is not left open.
TEST_F(WorkbenchRun, LaunchFailureReportsTheLaunchAndClosesTheLog)
{
    const std::string id = "c0ffee01000040008000000000000001";
    const fs::path jobFolder = layout::jobFolder(engineRoot(), id);
    fs::create_directories(jobFolder / "job.json");
    std::optional<bool> copiedWhenTimeWasTaken;
    platform.clock.onRead = [&] {
        if (!copiedWhenTimeWasTaken)
            copiedWhenTimeWasTaken = fs::exists(jobFolder / "input" / sourceFile.filename());
    };
    platform.launcher.failure = "/x/.venv/bin/python: No such file or directory";
    workbench->importFile(sourceFile);
    workbench->start();

    EXPECT_EQ(workbench->error(), platform.launcher.failure);
    EXPECT_EQ(copiedWhenTimeWasTaken, false);
    ASSERT_GE(platform.launcher.lastOutputFile, 0);
    const fs::path descriptor = "/proc/self/fd/" + std::to_string(platform.launcher.lastOutputFile);
    std::error_code ec;
    EXPECT_NE(fs::read_symlink(descriptor, ec), jobFolder / "process.log");
}

// A Linux file name may hold any bytes; the final record must still be saved.
TEST_F(WorkbenchRun, AStemNameThatIsNotUtf8StillEndsTheRecord)
{
    startJob();
    writeFile(jobFile("output/song_(Vocals)\xE9.wav"), "v");
    platform.clock.now += 7.5;
    platform.launcher.exit(0);

    EXPECT_FALSE(workbench->error());
    const Job stored = *decodeJob(readFile(jobFile("job.json")));
    EXPECT_EQ(stored.status, "done");
    EXPECT_EQ(stored.elapsed, 7);
    ASSERT_EQ(stored.outputs->size(), 1u);
    EXPECT_EQ(stored.outputs->at(0).name, "song_(Vocals)\xEF\xBF\xBD.wav");
    EXPECT_EQ(stored.outputs->at(0).url, "/output/" + jobId() + "/song_(Vocals)%E9.wav");
    EXPECT_EQ(workbench->jobs().at(0).status, "done");
}

TEST_F(WorkbenchRun, ExitZeroWithStemsEndsDone)
{
    startJob();
    const std::string stemName = "晴天 #1_(Vocals).wav";
    test::writeFile(jobFile("output/" + stemName), std::string(1234, 'v'));
    test::writeFile(jobFile("output/a_(Bass).wav"), std::string(10, 'b'));
    test::writeFile(jobFile("output/b_(Drums).mp3"), "");
    test::writeFile(jobFile("output/notes.txt"), "x");
    test::writeFile(jobFile("process.log"), "模型就绪\n done\n");
    platform.clock.now += 59.9;
    platform.launcher.exit(0);

    const Job& job = *workbench->selectedJob();
    EXPECT_FALSE(workbench->busy());
    EXPECT_EQ(job.status, "done");
    EXPECT_EQ(job.message, "分轨完成，已生成 3 条独立音轨。");
    EXPECT_EQ(workbench->message(), job.message);
    EXPECT_EQ(job.elapsed, 59);
    const std::string url = "/output/" + job.id + "/";
    EXPECT_EQ(job.outputs, (std::vector<JobOutput>{
                               {"a_(Bass).wav", 10, url + "a_(Bass).wav"},
                               {"b_(Drums).mp3", 0, url + "b_(Drums).mp3"},
                               {stemName, 1234, url + "%E6%99%B4%E5%A4%A9%20%231_(Vocals).wav"},
                           }));
    EXPECT_EQ(workbench->stems().size(), 3u);
    EXPECT_EQ(workbench->log(), "模型就绪\n done\n");
    EXPECT_EQ(decodeJob(test::readFile(jobFile("job.json"))), job);
    EXPECT_EQ(workbench->jobs().at(0), job);
}

TEST_F(WorkbenchRun, NonZeroExitOrNoStemsEndsInError)
{
    startJob();
    test::writeFile(jobFile("output/x_(Vocals).wav"), "v");
    platform.launcher.exit(137);
    EXPECT_EQ(workbench->selectedJob()->status, "error");
    EXPECT_EQ(workbench->message(), "分轨失败，请展开运行日志查看原因。");
    EXPECT_TRUE(workbench->stems().empty()) << "a failed run does not list its stems";
    EXPECT_EQ(workbench->selectedJob()->outputs, std::vector<JobOutput>{});

    workbench->start();
    platform.launcher.exit(0);
    EXPECT_EQ(workbench->selectedJob()->status, "error");
    EXPECT_EQ(workbench->message(), "模型未生成音轨，请查看日志。");
}

TEST_F(WorkbenchRun, CancelledRunEndsCancelledWhateverTheEngineDid)
{
    startJob();
    workbench->cancel();
    EXPECT_TRUE(workbench->busy()) << "the run ends when the engine has exited";
    EXPECT_EQ(platform.launcher.last().terminateRequests, 1);
    EXPECT_EQ(workbench->message(), "正在取消，等待引擎退出…");
    EXPECT_EQ(decodeJob(test::readFile(jobFile("job.json")))->status, "cancelled");

    test::writeFile(jobFile("output/x_(Vocals).wav"), "v");
    platform.launcher.exit(0);
    const Job& job = *workbench->selectedJob();
    EXPECT_EQ(job.status, "cancelled");
    EXPECT_EQ(job.message, "已取消分轨");
    EXPECT_EQ(workbench->message(), "已取消分轨");
    EXPECT_TRUE(workbench->stems().empty());
    EXPECT_EQ(job.outputs, std::vector<JobOutput>{});
}

TEST_F(WorkbenchRun, QuitDuringARunRecordsItCancelled)
{
    workbench->terminateForExit(); // nothing runs: nothing happens
    workbench->cancel();
    EXPECT_TRUE(changes.empty());

    startJob();
    const std::string message = workbench->message();
    workbench->terminateForExit();
    EXPECT_EQ(platform.launcher.last().terminateRequests, 1);
    EXPECT_EQ(workbench->message(), message);
    EXPECT_TRUE(workbench->busy());
    Job stored = *decodeJob(test::readFile(jobFile("job.json")));
    EXPECT_EQ(stored.status, "cancelled");
    EXPECT_EQ(stored.message, "App 已退出，任务取消");
}

TEST_F(WorkbenchRun, StaleExitReportsChangeNothing)
{
    startJob();
    auto firstRun = platform.launcher.launches.back();
    changes.clear();
    workbench->finished("ffffffffffffffffffffffffffffffff", 0);
    EXPECT_TRUE(changes.empty());

    platform.launcher.exit(1);
    workbench->start(); // a new run replaces the first
    changes.clear();
    firstRun->onExit(0);
    EXPECT_TRUE(changes.empty());
    EXPECT_TRUE(workbench->busy());

    // The report of a run whose Workbench is gone does nothing either.
    auto lastRun = platform.launcher.launches.back();
    workbench.reset();
    lastRun->onExit(0);
}

} // namespace
} // namespace tonfield
